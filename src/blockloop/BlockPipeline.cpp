#include "blockloop/BlockPipeline.h"

#include "platform/os/Wipe.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace quillmar {

namespace {

// How often a waiting thread looks at the user's Cancel.
constexpr auto kCancelPoll = std::chrono::milliseconds(50);

// What the ring may hold on a machine with many cores, beyond one batch per
// worker and two for the reader and the writer.
constexpr std::size_t kRingBytes = std::size_t{4} << 20;

enum class BatchState { Free, Filled, Working, Done };

std::size_t RingSize(unsigned workers, std::size_t perWorker, std::size_t batchBytes) {
    const std::size_t wanted = workers * std::max<std::size_t>(1, perWorker);
    return std::max<std::size_t>(workers + 2, std::min(wanted, kRingBytes / batchBytes));
}

struct Batch {
    std::unique_ptr<char[]> data;
    std::size_t sourceBytes = 0; // read from the source
    std::size_t length = 0;      // to be written: the last block padded to a multiple of 8
    BatchState state = BatchState::Free;
};

class Pipeline {
public:
    Pipeline(BlockFiles& files, const char* password, const BlockEntries& entries,
             const BlockControl& control, const PipelineShape& shape)
        : m_files(files), m_password(password), m_entries(entries), m_control(control),
          m_batchBytes(std::clamp<std::size_t>(shape.batchBlocks, 1, kMaxBatchBlocks) * kBlockSize),
          m_workers(std::max(1u, shape.workers)),
          m_ring(RingSize(m_workers, shape.batchesPerWorker, m_batchBytes)) {
        for (Batch& b : m_ring)
            b.data = std::make_unique<char[]>(m_batchBytes);
    }
    ~Pipeline() {
        for (Batch& b : m_ring)
            SecureWipe(b.data.get(), m_batchBytes);
    }
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    // Nothing when no thread could be started: nothing was read yet.
    std::optional<BlockOutcome> Run() {
        // The reader may wait on a pipe: any stop, not only the user's, must end that wait.
        m_files.source->CancelWith(&m_halted);
        std::vector<std::jthread> threads;
        try {
            threads.emplace_back([this] { WriteAll(); });
            for (unsigned i = 0; i < m_workers; ++i)
                threads.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            Stop(std::nullopt);
            return std::nullopt; // the threads that did start see the stop and end
        }
        ReadAll();
        threads.clear(); // joins
        if (m_failure)
            return m_failure;
        if (Cancelled())
            return BlockOutcome{BlockOutcome::Kind::Cancelled, {}};
        BlockOutcome outcome;
        if (!m_files.target->Commit(outcome.error))
            outcome.kind = BlockOutcome::Kind::FileError;
        return outcome;
    }

private:
    bool Cancelled() const {
        return m_control.cancel && m_control.cancel->load(std::memory_order_relaxed);
    }
    Batch& Slot(std::uint64_t seq) { return m_ring[seq % m_ring.size()]; }

    // Waits, with m_mutex held through lock, until ready() or a stop; false on a stop.
    template <class Ready>
    bool WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, Ready ready) {
        for (;;) {
            if (m_stopped)
                return false;
            if (Cancelled()) {
                StopAll();
                return false;
            }
            if (ready())
                return true;
            cv.wait_for(lock, kCancelPoll);
        }
    }

    // With m_mutex held.
    void StopAll() {
        m_stopped = true;
        m_halted.store(true, std::memory_order_relaxed);
        m_freed.notify_all();
        m_filled.notify_all();
        m_transformed.notify_all();
    }

    // The first failure is the one reported; every thread ends.
    void Stop(std::optional<BlockOutcome> failure) {
        const std::lock_guard lock(m_mutex);
        if (failure && !m_failure && !m_stopped)
            m_failure = std::move(failure);
        StopAll();
    }

    void ReadAll() {
        for (std::uint64_t seq = 0;; ++seq) {
            Batch& b = Slot(seq);
            {
                std::unique_lock lock(m_mutex);
                if (!WaitFor(lock, m_freed, [&] { return b.state == BatchState::Free; }))
                    return;
            }
            FileError error;
            const auto n = m_files.source->Read(b.data.get(), m_batchBytes, error);
            if (!n) {
                // A read that gave up on a device because of a stop is no error.
                Stop(m_halted.load(std::memory_order_relaxed)
                         ? std::nullopt
                         : std::optional(BlockOutcome{BlockOutcome::Kind::FileError, error}));
                return;
            }
            const std::unique_lock lock(m_mutex);
            if (*n == 0) {
                m_end = seq;
                m_filled.notify_all();
                m_transformed.notify_one();
                return;
            }
            const std::size_t whole = *n / kBlockSize * kBlockSize;
            b.sourceBytes = *n;
            b.length = whole + PaddedLength(*n - whole);
            std::memset(b.data.get() + *n, 0, b.length - *n);
            b.state = BatchState::Filled;
            m_read = seq + 1;
            if (*n < m_batchBytes) {
                // Only the end of the source gives less than was asked for.
                m_end = seq + 1;
                m_filled.notify_all();
                m_transformed.notify_one();
                return;
            }
            m_filled.notify_one();
        }
    }

    void Work() {
        for (;;) {
            std::uint64_t seq = 0;
            {
                std::unique_lock lock(m_mutex);
                if (!WaitFor(lock, m_filled,
                             [&] { return m_claimed < m_read || m_end == m_claimed; }) ||
                    m_end == m_claimed)
                    return;
                seq = m_claimed++;
                Slot(seq).state = BatchState::Working;
            }
            Batch& b = Slot(seq);
            TransformBlocks(m_entries, b.data.get(), m_password, b.length);
            const std::lock_guard lock(m_mutex);
            b.state = BatchState::Done;
            m_transformed.notify_one();
        }
    }

    void WriteAll() {
        std::uint64_t done = 0;
        for (std::uint64_t seq = 0;; ++seq) {
            Batch& b = Slot(seq);
            {
                std::unique_lock lock(m_mutex);
                if (!WaitFor(lock, m_transformed,
                             [&] { return b.state == BatchState::Done || m_end == seq; }) ||
                    m_end == seq)
                    return;
            }
            FileError error;
            const bool written = m_files.target->Write(b.data.get(), b.length, error);
            SecureWipe(b.data.get(), b.length);
            if (!written) {
                Stop(BlockOutcome{BlockOutcome::Kind::FileError, error});
                return;
            }
            done += b.sourceBytes;
            if (m_control.done)
                m_control.done->store(done, std::memory_order_relaxed);
            const std::lock_guard lock(m_mutex);
            b.state = BatchState::Free;
            m_freed.notify_one();
        }
    }

    BlockFiles& m_files;
    const char* m_password;
    const BlockEntries m_entries;
    const BlockControl& m_control;
    const std::size_t m_batchBytes;
    const unsigned m_workers;
    std::vector<Batch> m_ring;

    std::mutex m_mutex;
    // Only the reader waits for a freed slot and only the writer for a transformed batch.
    std::condition_variable m_freed, m_filled, m_transformed;
    // Batches are numbered in source order; batch k lives in slot k % ring size.
    std::uint64_t m_read = 0;           // batches filled so far
    std::uint64_t m_claimed = 0;        // batches taken by a worker so far
    std::optional<std::uint64_t> m_end; // the number of batches, once the source ended
    bool m_stopped = false;
    std::atomic<bool> m_halted{false}; // m_stopped, for a read that waits without the lock
    std::optional<BlockOutcome> m_failure;
};

} // namespace

unsigned DefaultWorkerCount() {
    return std::max(1u, std::thread::hardware_concurrency());
}

BlockOutcome RunBlockPipeline(BlockFiles& files, const char* password, BlockEntries entries,
                              const BlockControl& control, const PipelineShape& shape) {
    if (auto outcome = Pipeline(files, password, entries, control, shape).Run())
        return *outcome;
    // No thread to be had: the plain loop needs none.
    return RunBlockCipher(files, password, entries, control);
}

BlockOutcome RunFileCipher(BlockFiles& files, const char* password, const CModule& module,
                           const BlockControl& control) {
    const BlockEntries entries{module.Entry(), module.BatchEntry()};
    if (!module.ThreadSafe())
        return RunBlockCipher(files, password, entries, control);
    return RunBlockPipeline(files, password, entries, control, {.workers = DefaultWorkerCount()});
}

} // namespace quillmar
