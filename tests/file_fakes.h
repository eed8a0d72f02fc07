#pragma once
// An I/O layer for the block loop that fails where a test says: reads or
// writes after N bytes, the commit. The source lives in memory; the target is
// in memory too, or a real file with only the failure put in front of it.

#include "platform/FileStreams.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace quillmar::test {

class FakeFiles : public FileLayer {
public:
    std::string source;
    // Zero bytes follow the source up to this size: long enough for a test to
    // act while the loop runs, yet a run that is never stopped still ends.
    std::uint64_t padTo = 0;
    std::optional<std::uint64_t> readFailsAt, writeFailsAt;
    bool commitFails = false;
    bool realTarget = false;
    std::function<void(std::uint64_t offset)> beforeRead; // on the reading thread

    std::string written;
    bool committed = false;
    std::thread::id readerThread;

    std::unique_ptr<ByteReader> OpenRead(const std::string& path) override {
        return std::make_unique<Reader>(*this, path);
    }
    std::unique_ptr<ByteWriter> OpenReplace(const std::string& path) override {
        std::unique_ptr<ByteWriter> inner;
        if (realTarget && !(inner = PosixFileLayer().OpenReplace(path)))
            return nullptr;
        return std::make_unique<Writer>(*this, path, std::move(inner));
    }

private:
    struct Reader : ByteReader {
        Reader(FakeFiles& f, std::string p) : f(f), path(std::move(p)) {}
        std::optional<std::size_t> Read(char* data, std::size_t size, FileError& error) override {
            f.readerThread = std::this_thread::get_id();
            if (f.beforeRead)
                f.beforeRead(pos);
            if (f.readFailsAt && pos + size > *f.readFailsAt) {
                error = {FileErrorCause::HardIO, path};
                return std::nullopt;
            }
            const std::uint64_t end = std::max<std::uint64_t>(f.source.size(), f.padTo);
            const std::size_t n = std::size_t(std::min<std::uint64_t>(size, end - pos));
            std::memset(data, 0, n);
            if (pos < f.source.size())
                std::memcpy(data, f.source.data() + pos, std::min(n, f.source.size() - pos));
            pos += n;
            return n;
        }
        std::uint64_t Size() const override { return f.source.size(); }
        FakeFiles& f;
        std::string path;
        std::size_t pos = 0;
    };
    struct Writer : ByteWriter {
        Writer(FakeFiles& f, std::string p, std::unique_ptr<ByteWriter> in)
            : f(f), path(std::move(p)), inner(std::move(in)) {}
        bool Write(const char* data, std::size_t size, FileError& error) override {
            if (f.writeFailsAt && f.written.size() + size > *f.writeFailsAt) {
                error = {FileErrorCause::DiskFull, path};
                return false;
            }
            f.written.append(data, size);
            return !inner || inner->Write(data, size, error);
        }
        bool Commit(FileError& error) override {
            if (f.commitFails) {
                error = {FileErrorCause::HardIO, path};
                return false;
            }
            f.committed = !inner || inner->Commit(error);
            return f.committed;
        }
        FakeFiles& f;
        std::string path;
        std::unique_ptr<ByteWriter> inner;
    };
};

class UseFileLayer {
public:
    explicit UseFileLayer(FileLayer& layer) { SetFileLayer(&layer); }
    ~UseFileLayer() { SetFileLayer(nullptr); }
};

} // namespace quillmar::test
