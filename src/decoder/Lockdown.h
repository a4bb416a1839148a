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
    // From here on, in every thread of the process, only what decoding and answering need is
    // allowed: memory, reading and writing the descriptors it already has, time, threads of its
    // own and signals to itself. Every other call (opening a file, making a socket or a process,
    // reaching another process) fails with EPERM. Nothing when the system offers no seccomp
    // filter; the reason is returned.
    static QString allowOnlyDecoding();
};
