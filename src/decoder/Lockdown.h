#pragma once

#include <QString>
#include <QtGlobal>

// The walls a decoder process puts up round itself once it is ready, before it reads a byte from
// outside.
class Lockdown {
public:
    // Bounds the process's data (heap and private mappings) to `bytes`, where the address space
    // is its own: a sanitizer's shadow memory needs terabytes of it, and there the app watches
    // the process's resident memory instead. False when no bound was set.
    static bool limitMemory(qint64 bytes);
    // From here on no file is opened, created or run and no socket made: such calls fail with
    // EACCES. Nothing when the system offers no seccomp filter; the reason is returned.
    static QString forbidFiles();
};
