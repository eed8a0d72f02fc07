#pragma once
// The failing file layer the tests share; no window needed.

#include "platform/os/FileStreams.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quillmar::test {

// An I/O layer that fails where a test says: reads or writes (of each file opened)
// after N bytes, the commit. The source lives in memory; the target too, or is a real file with
// only the failure put in front of it.
struct FakeFiles : FileLayer {
    explicit FakeFiles(std::string s, bool real = false,
                       std::optional<std::uint64_t> readFails = {},
                       std::optional<std::uint64_t> writeFails = {})
        : source(std::move(s)), readFailsAt(readFails), writeFailsAt(writeFails), realTarget(real) {
    }
    std::string source, written;
    std::optional<std::uint64_t> readFailsAt, writeFailsAt;
    bool realTarget, commitFails = false, committed = false;
    std::function<void(std::uint64_t offset)> beforeRead = [](std::uint64_t) {}; // reading thread

    struct Stream : ByteReader, ByteWriter {
        Stream(FakeFiles& f, std::string p, std::unique_ptr<ByteWriter> in = nullptr)
            : f(f), path(std::move(p)), inner(std::move(in)) {}
        std::optional<std::size_t> Read(char* data, std::size_t size, FileError& error) override {
            f.beforeRead(pos);
            if (f.readFailsAt && pos + size > *f.readFailsAt) {
                error = {FileErrorCause::HardIO, path};
                return std::nullopt;
            }
            const std::size_t n = f.source.copy(data, size, pos);
            pos += n;
            return n;
        }
        std::uint64_t Size() const override { return f.source.size(); }
        bool Write(const char* data, std::size_t size, FileError& error) override {
            if (f.writeFailsAt && pos + size > *f.writeFailsAt) {
                error = {FileErrorCause::DiskFull, path};
                return false;
            }
            pos += size;
            f.written.append(data, size);
            return !inner || inner->Write(data, size, error);
        }
        bool Commit(FileError& error) override {
            if (f.commitFails)
                error = {FileErrorCause::HardIO, path};
            return f.committed = !f.commitFails && (!inner || inner->Commit(error));
        }
        FakeFiles& f;
        std::string path;
        std::unique_ptr<ByteWriter> inner;
        std::size_t pos = 0; // bytes read, or written
    };
    std::unique_ptr<ByteReader> OpenRead(const std::string& path, Reading, FileError&) override {
        return std::make_unique<Stream>(*this, path);
    }
    std::unique_ptr<ByteWriter> OpenReplace(const std::string& path, Readers readers,
                                            FileError& error) override {
        auto inner = realTarget ? PosixFileLayer().OpenReplace(path, readers, error) : nullptr;
        return realTarget && !inner ? nullptr
                                    : std::make_unique<Stream>(*this, path, std::move(inner));
    }
};

// The program's file layer for one scope: the real one comes back however the scope ends, so a
// failed assertion cannot leave a dangling layer for the next test.
struct UsingFileLayer {
    explicit UsingFileLayer(FileLayer& layer) { SetFileLayer(&layer); }
    ~UsingFileLayer() { SetFileLayer(nullptr); }
    UsingFileLayer(const UsingFileLayer&) = delete;
    UsingFileLayer& operator=(const UsingFileLayer&) = delete;
};

} // namespace quillmar::test
