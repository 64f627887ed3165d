// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/mainwindow.h"
#include "vault/conflictcopies.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>

// Entries that a sync tool moved into conflict copies of the vault, when two
// computers saved it at once, come back into the table on request: each
// copy, the oldest first, merged by the entry rules with nothing as the
// base, so nothing is deleted and a changed entry stays beside the vault's.
// Nothing is written until the user saves.
void MainWindow::offerConflictCopies(const QList<ConflictCopy> &copies, QList<Entry> &entries)
{
    if (copies.isEmpty())
        return;
    const int count = int(copies.size());
    const QSet<Entry> held(entries.cbegin(), entries.cend());
    QStringList names;
    QStringList details;
    QStringList paths;
    for (const ConflictCopy &copy : copies) {
        names << QFileInfo(copy.path).fileName();
        paths << copy.path;
        details << names.last();
        for (const Entry &entry : copy.entries) {
            if (!held.contains(entry))
                details << QStringLiteral("    %1 / %2").arg(entry.service, entry.username);
        }
    }
    QMessageBox box(QMessageBox::Question, tr("Conflicting Copies"),
        count == 1 ? tr("A sync tool left 1 copy of this vault with entries that are not in it. "
                        "Merge their entries into this window?")
                   : tr("A sync tool left %n copies of this vault with entries that are not in "
                        "it. Merge their entries into this window?",
                       nullptr, count),
        QMessageBox::NoButton, this);
    box.setInformativeText(names.join(u'\n'));
    box.setDetailedText(details.join(u'\n'));
    QPushButton *merge = box.addButton(tr("Merge"), QMessageBox::AcceptRole);
    box.setEscapeButton(box.addButton(tr("Ignore"), QMessageBox::RejectRole));
    box.setDefaultButton(merge);
    box.exec();
    if (box.clickedButton() != merge)
        return;
    const MergedEntries merged = mergeCopies(entries, copies);
    showMerged(merged.entries, entries, merged.firstConflict);
    session.copiesMerged(paths);
    entries = merged.entries;
}
