#include "app/StopSignals.h"

#include <signal.h>
#include <unistd.h>

#include <initializer_list>

namespace {

volatile sig_atomic_t noted = 0;

// Only what is safe in a handler: the loop looks at the flag every frame.
void note(int signal) { noted = signal; }

}  // namespace

void noteStopSignals() {
  for (int signal : {SIGINT, SIGHUP, SIGTERM}) {
    struct sigaction was {};
    // A shell starts background jobs with SIGINT ignored; nohup ignores
    // SIGHUP. They stay so.
    if (sigaction(signal, nullptr, &was) == 0 && was.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = note;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
  }
}

int stopSignalNoted() { return noted; }

void endBySignal(int signal) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal);
  _exit(128 + signal);  // only if the signal did not end it
}
