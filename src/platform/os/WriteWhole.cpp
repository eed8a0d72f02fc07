#include "platform/os/WriteWhole.h"

#include "platform/os/FileStreams.h"

namespace quillmar {

bool WriteWhole(int fd, std::string_view data, std::string name, FileError& error) {
    const auto writer = WriterOnDescriptor(fd, name);
    if (!writer) {
        error = {FileErrorCause::InvalidFile, std::move(name)};
        return false;
    }
    return writer->Write(data.data(), data.size(), error) && writer->Commit(error);
}

} // namespace quillmar
