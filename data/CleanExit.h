#pragma once
// Ending on SIGINT and SIGTERM without leaving half a write.
//
// Every write of a file (data/TextFile: a file, or a pair of files, written aside and put
// in place, or put back) runs inside a WriteSection. Once EndCleanlyOnSignals has been
// called, a signal that comes outside every section ends the process at once, and one that
// comes during a section lets the write finish (or be undone) and ends the process as the
// last section closes; nothing written aside is left behind, and a pair is whole or as it
// was. The exit code is 128 + the signal's number: 130 for SIGINT, 143 for SIGTERM.
// Without the call the signals keep their default action, and the sections cost an atomic
// counter each.
namespace vrma {

inline constexpr int kSignalExitBase = 128;

void EndCleanlyOnSignals();

// True once SIGINT or SIGTERM came in during a section (the process ends as the last
// section closes): a write not yet begun need not be.
bool SignalArrived();

class WriteSection {
public:
    WriteSection();
    ~WriteSection();
    WriteSection(const WriteSection&) = delete;
    WriteSection& operator=(const WriteSection&) = delete;
};

} // namespace vrma
