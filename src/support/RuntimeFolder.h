#pragma once

#include <QString>

// The folder for the single-instance lock and the instance's local server: one that
// only this user can enter, so no other user can create either of them first.

// True when `path` is a folder (not a link) of this user that no one else may enter:
// owned by the effective user, mode 0700.
bool IsPrivateFolder(const QString& path);

// Makes `path` such a folder: creates it (and its missing parents) with mode 0700, or
// takes an existing one of ours, closing its mode when others could enter it. False
// for a folder (or a link, or a file) that belongs to another user, and for one that
// cannot be made.
bool MakePrivateFolder(const QString& path);

// $XDG_RUNTIME_DIR when it exists, belongs to this user and has mode 0700; else
// "<cache folder>/Norvane Lanvey/run", made private as above. Empty when neither can be
// had safely.
QString PrivateRuntimeFolder();
