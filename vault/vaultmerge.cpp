// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "vault/vaultmerge.h"
#include "vault/secretmemory.h"
#include "vault/vaultformat.h"

#include <git2.h>

#include <cstring>

namespace {

// libgit2's file merge on the vault texts, which hold one entry a line.
git_merge_file_input inputOf(const QByteArray &text)
{
    git_merge_file_input input {};
    git_merge_file_input_init(&input, GIT_MERGE_FILE_INPUT_VERSION);
    input.ptr = text.constData();
    input.size = size_t(text.size());
    return input;
}

} // namespace

std::optional<QList<Entry>> mergeEntries(
    const QList<Entry> &base, const QList<Entry> &first, const QList<Entry> &second)
{
    QByteArray texts[] = { encodeVault(base), encodeVault(first), encodeVault(second) };
    const git_merge_file_input ancestor = inputOf(texts[0]);
    const git_merge_file_input ours = inputOf(texts[1]);
    const git_merge_file_input theirs = inputOf(texts[2]);
    git_merge_file_options options {};
    git_merge_file_options_init(&options, GIT_MERGE_FILE_OPTIONS_VERSION);
    options.favor = GIT_MERGE_FILE_FAVOR_UNION;

    std::optional<QList<Entry>> merged;
    git_libgit2_init();
    git_merge_file_result result {};
    if (git_merge_file(&result, &ancestor, &ours, &theirs, &options) == 0) {
        // Every line of the result is a line of one of the texts, and so an
        // entry.
        merged = decodeVault(QByteArray::fromRawData(result.ptr, qsizetype(result.len)));
        if (result.ptr)
            std::memset(const_cast<char *>(result.ptr), 0, result.len);
    }
    git_merge_file_result_free(&result);
    git_libgit2_shutdown();
    for (QByteArray &text : texts)
        wipe(text);
    return merged;
}
