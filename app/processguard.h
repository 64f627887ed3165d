// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Keeps the master key out of reach of other processes of the same user and
// out of core dumps: the process cannot be dumped or traced, and writes no
// core file. Does nothing where the platform offers no such switch.
void protectProcessMemory();
