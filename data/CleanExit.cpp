#include "data/CleanExit.h"

#include <atomic>
#include <csignal>

#include <unistd.h>

namespace vrma {

namespace {

// The sections open, and the bit of a signal that came in meanwhile.
constexpr unsigned kPending = 1U << 31;
std::atomic<unsigned> g_state{0};
std::atomic<int> g_signal{0};
static_assert(std::atomic<unsigned>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the handler may only touch lock-free atomics");

[[noreturn]] void ExitOnSignal() {
    ::_exit(kSignalExitBase + g_signal.load());
}

extern "C" void OnSignal(int signal) {
    int none = 0;
    g_signal.compare_exchange_strong(none, signal); // the first signal names the code
    if ((g_state.fetch_or(kPending) & ~kPending) == 0)
        ExitOnSignal();
}

} // namespace

void EndCleanlyOnSignals() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool SignalArrived() {
    return (g_state.load() & kPending) != 0;
}

WriteSection::WriteSection() {
    // A signal already in and no write under way: the handler ends the process; nothing
    // may be begun meanwhile.
    if (g_state.fetch_add(1) == kPending)
        ExitOnSignal();
}

WriteSection::~WriteSection() {
    if (g_state.fetch_sub(1) - 1 == kPending)
        ExitOnSignal();
}

} // namespace vrma
