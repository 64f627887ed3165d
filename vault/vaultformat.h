#pragma once

#include <QString>

// True when `text` can be stored as a field of a vault line: the format cuts
// lines at line feeds and fields at tabs, and no save of this program ever
// writes another control character either.
bool isStorableText(const QString &text);
