#pragma once
// The block loop on every core. Each module call starts again from the
// module's IV, so block k may be transformed on any thread as long as it is
// written at position k: one reader fills a fixed ring of batches, workers run
// the module over whole batches, one writer writes them in order. The bytes
// written are exactly those of the plain loop.

#include "blockloop/BlockCipher.h"

#include <cstddef>

namespace quillmar {

struct PipelineShape {
    unsigned workers = 1;
    // 256 KiB: one read and one write each, straight into and out of the batch,
    // and enough blocks for a module that runs 512 of them side by side.
    // Bigger batches were no faster.
    std::size_t batchBlocks = kBatchBlocks;
    std::size_t batchesPerWorker = 4; // at most 4 MiB in all, unless there are many workers
};

// One worker per core the system reports. Even with a cipher as fast as the
// disk, one more (beside the reader and the writer) was no faster, one fewer
// slower.
unsigned DefaultWorkerCount();

// Like RunBlockCipher, with the entries called from shape.workers threads at once.
BlockOutcome RunBlockPipeline(BlockFiles& files, const char* password, BlockEntries entries,
                              const BlockControl& control, const PipelineShape& shape);

// The pipeline for a module that may be called concurrently, the plain loop
// for one that has not said so.
BlockOutcome RunFileCipher(BlockFiles& files, const char* password, const CModule& module,
                           const BlockControl& control);

} // namespace quillmar
