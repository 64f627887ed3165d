// SPDX-FileCopyrightText: 2026 The Keyloft developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>

// What the command line asks for: the vault named, if any, or to stop at
// once with a status (an information option answered, an unknown option
// refused). A mistyped option must never become the name of a vault that a
// save then creates.
struct Request
{
    QByteArray vault;
    int exitStatus = -1; // -1: run
    // An information option to answer; where it was found before the
    // toolkit started, the answer waits for the user's language.
    enum class Information { None, Help, Version } information = Information::None;
};

// Reads the arguments the toolkit left in `argv`. Before the toolkit has
// taken out its own options (`early`), only an information option that
// parses cleanly is taken; an unknown option is refused on standard error
// once it has.
Request readArguments(int argc, char *argv[], bool early);

// Prints what `information` asks for, in the user's language.
void answer(Request::Information information);
