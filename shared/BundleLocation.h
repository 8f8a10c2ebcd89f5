#pragma once

// Where the bundle (the install prefix holding bin/, libexec/vellumor/ and
// share/vellumor/) is, found at run time.
//
// What callers may rely on: the prefix is $VELLUMOR_PREFIX when that is set
// and not empty, otherwise the folder above the running executable's bin/
// (or above libexec/vellumor/ for a helper living there). Paths come back
// absolute and without a trailing "/"; nothing is checked for existence.

#include <QString>

QString vellumorPrefix();
// PREFIX/libexec/vellumor/<name>: "rsync", "mount", "bless", "dropcount", "diskutil".
QString auxiliaryToolPath(const QString &name);
// PREFIX/share/vellumor/excludelist.txt, the patterns always passed to rsync.
QString excludeListPath();
