#pragma once
// Runs a long piece of work on a worker thread while the window keeps
// painting. Past a short delay a progress dialog, modal to the main window,
// tells how far the work has got and offers Cancel; until then the window's input is
// held off. Closing the main window meanwhile cancels as well.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace quillmar {

class CDialog;

struct ProgressRequest {
    const CDialog* owner;
    // The dialog's text after seconds with done bytes.
    std::function<std::string(std::uint64_t done, double seconds)> describe;
    std::uint64_t total; // 0 when unknown
};

// Shared between the window and the work.
struct ProgressState {
    std::atomic<bool> cancel{false};
    std::atomic<std::uint64_t> done{0};
    bool windowClosed = false; // the cancel came from closing the main window
};

// Returns when work has returned; work must look at state.cancel now and then.
// An exception thrown by work is thrown again here.
void RunWithProgress(const ProgressRequest& request, ProgressState& state,
                     const std::function<void()>& work);

// How long a run goes before its dialog shows; tests make it zero.
inline constexpr std::chrono::milliseconds kProgressDelay{500};
void SetProgressDelay(std::chrono::milliseconds delay);

} // namespace quillmar
