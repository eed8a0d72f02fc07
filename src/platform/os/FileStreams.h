#pragma once
// The file access of long operations, behind a small interface so that tests
// can make a read or a write fail anywhere. The real layer reads and writes in
// big chunks, so small blocks do not cost a system call each.

#include "platform/os/FileError.h"
#include "platform/os/FileIdentity.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quillmar {

class ByteReader {
public:
    virtual ~ByteReader() = default;
    // Up to size bytes, fewer only at the end of the file (0 there); nothing
    // on an error, which is then described in error.
    virtual std::optional<std::size_t> Read(char* data, std::size_t size, FileError& error) = 0;
    // The file's size when opened, for showing progress; 0 when unknown.
    virtual std::uint64_t Size() const { return 0; }
    virtual std::optional<FileIdentity> Identity() const { return std::nullopt; }
    // A device or pipe may hold its bytes back for ever: a read that waits for
    // them gives up, with nothing, once *cancel is set. Without a cancel flag
    // a read does not wait at all.
    virtual void CancelWith(const std::atomic<bool>* /*cancel*/) {}
};

// Collects a file's new content; the file takes it only on Commit. Dropping
// the writer without a commit leaves the file as it was.
class ByteWriter {
public:
    virtual ~ByteWriter() = default;
    [[nodiscard]] virtual bool Write(const char* data, std::size_t size, FileError& error) = 0;
    [[nodiscard]] virtual bool Commit(FileError& error) = 0;
    // The file that the commit replaces, as finally resolved, if there is one:
    // a target that is the source must be refused.
    virtual std::optional<FileIdentity> Replaces() const { return std::nullopt; }
};

// What OpenRead opens. A long operation's data refuses a named pipe: with no
// writer it reads as empty, and an empty result would pass for a success. A
// secret (a key file) may be one: what is there is read, nothing when no
// writer holds it; but it must be our own or root's, see OpenSecretFile.
enum class Reading { Data, Secret };

// Who may read a replaced file: whoever could read the file it replaces (a new
// file follows the umask), or its owner only, whatever the old file allowed.
enum class Readers { AsBefore, OwnerOnly };

class FileLayer {
public:
    virtual ~FileLayer() = default;
    // An existing regular file or device, for reading; nothing when it cannot
    // be opened, with the cause in error. /proc's links to open files are
    // refused: a descriptor is named as one, see DescriptorSpelledBy.
    virtual std::unique_ptr<ByteReader> OpenRead(const std::string& absolutePath, Reading reading,
                                                 FileError& error) = 0;
    // Nothing when the file could not be written, with the cause in error: a
    // missing folder, a directory, a file that may not be written.
    virtual std::unique_ptr<ByteWriter> OpenReplace(const std::string& absolutePath,
                                                    Readers readers, FileError& error) = 0;
};

// Buffered POSIX reads; writes through ReplacingFile.
FileLayer& PosixFileLayer();

// An open descriptor such as standard input: a pipe, a terminal or a file, of
// any length. Anything but a regular file is polled before each read, so that
// a cancel request ends a wait for bytes. The descriptor is duplicated: the
// caller's own stays open. Nothing when fd is not open.
std::unique_ptr<ByteReader> ReaderOnDescriptor(int fd, std::string name);
// Writes to an open descriptor such as standard output, named in errors by
// name. Commit writes out what is buffered and flushes a regular file to disk.
// Nothing can be taken back: what was written stays written.
std::unique_ptr<ByteWriter> WriterOnDescriptor(int fd, std::string name);

// The layer the program uses; nullptr restores the real one.
void SetFileLayer(FileLayer* layer);
FileLayer& CurrentFileLayer();

inline constexpr std::size_t kFileChunk = std::size_t{256} << 10;

} // namespace quillmar
