#pragma once
// The terminal while a password is typed, and the signals that end a process.

#include <span>

namespace quillmar {

// Every signal whose default action ends the process (all but SIGKILL, which
// cannot be caught), the real-time ones included.
std::span<const int> EndingSignals();

// Echo off on tty while it lives, and back on however the process ends or
// stops: an ending signal puts the terminal back, then does what it would
// have done (through the handler that was there before, if any); SIGCONT
// turns echo off again. Only one at a time.
class EchoOff {
public:
    explicit EchoOff(int tty);
    ~EchoOff();
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    // Whether echo is off: false when tty is no terminal.
    bool ok() const { return m_ok; }

private:
    bool m_ok = false, m_handled = false;
};

} // namespace quillmar
