#pragma once

#include <QByteArrayList>
#include <QString>
#include <QtGlobal>

// The walls a decoder process puts up round itself once it is ready, before it reads a byte from
// outside.
class Lockdown {
public:
    // Every wall below, in turn. Empty when all are up; else what is missing, and the decoder must
    // answer nothing: a hostile picture would meet a process that can reach what it likes.
    static QString raise(qint64 memoryBytes);

    // Bounds the process's data (heap and private mappings) to `bytes`, where the address space
    // is its own: a sanitizer's shadow memory needs terabytes of it, and there the app watches
    // the process's resident memory instead (no reason is returned). Otherwise the reason the
    // bound could not be set, if it could not.
    static QString limitMemory(qint64 bytes);
    // From here on, in every thread of the process, only what decoding and answering need is
    // allowed: memory that is never run as code, reading and writing the descriptors it already
    // has, time, threads of its own and the one signal to itself that abort() sends. Every other
    // call (opening a file, making a socket or a process, reaching another process, stopping or
    // killing itself) fails with EPERM. The reason, when the filter could not be loaded.
    static QString allowOnlyDecoding();
    // The lines of the process's memory map (`maps`, /proc/self/maps opened before the walls went
    // up, read once from its start) that could run code put there after loading: a mapping both
    // writable and executable, or executable with no file behind it. The kernel's own vDSO and
    // vsyscall pages are the kernel's code, not the process's. Nothing else when all is well; a
    // line saying so when the map could not be read.
    static QByteArrayList codeInData(int maps);
};
