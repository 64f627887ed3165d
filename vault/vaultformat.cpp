#include "vault/vaultformat.h"

#include <algorithm>

bool isStorableText(const QString &text)
{
    return std::none_of(text.cbegin(), text.cend(),
        [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
}
