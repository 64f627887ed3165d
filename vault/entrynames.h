// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "vault/entry.h"

#include <QtGlobal>

// A hash of an entry's name, its service and user name. It finds the
// candidates for a name quickly; whether two entries share a name is decided
// by comparing the names themselves (sameName).
quint64 hashOfName(const Entry &entry);

// Whether two entries have the same service and user name, code unit for
// code unit, as QString's == tells.
bool sameName(const Entry &a, const Entry &b);
