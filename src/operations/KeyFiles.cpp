#include "operations/KeyFiles.h"

#include "keys/KeyFile.h"
#include "operations/FilePair.h"
#include "operations/Passwords.h"
#include "platform/os/Paths.h"
#include "platform/os/Wipe.h"

#include <span>

namespace quillmar {

KeyLoad LoadKeyFile(const std::string& path, FileLayer& layer, std::string& password,
                    FileError& error) {
    SecureWipe(password.data(), password.size());
    password.clear();
    const auto reader = OpenReaderByName(path, layer, Reading::Secret, Dash::FileName, error);
    if (!reader)
        return KeyLoad::FileError;
    KeyRecord record;
    const auto got =
        reader->Read(reinterpret_cast<char*>(record.bytes.data()), record.bytes.size(), error);
    if (!got)
        return KeyLoad::FileError;
    // Room for the longest password: no reallocation leaves a copy behind.
    password.reserve(kKeyPasswordArea);
    switch (ReadKeyRecord(std::span(record.bytes.data(), *got), password)) {
    case KeyReadResult::Empty:
        return KeyLoad::Empty;
    case KeyReadResult::NotKeyFile:
        return KeyLoad::NotKeyFile;
    case KeyReadResult::Ok:
        break;
    }
    if (CheckPassword(password) == PasswordProblem::NotText) {
        SecureWipe(password.data(), password.size());
        password.clear();
        return KeyLoad::NotShowable;
    }
    return KeyLoad::Ok;
}

bool FitsKeyFile(std::string_view password) {
    KeyRecord record;
    return MakeKeyRecord(password, record);
}

KeySave SaveKeyFile(const std::string& path, std::string_view password, FileLayer& layer,
                    FileError& error) {
    KeyRecord record;
    if (!MakeKeyRecord(password, record))
        return KeySave::TooLong;
    const std::string absolute = MakeAbsolutePath(path);
    error = {FileErrorCause::BadPath, path};
    const auto* bytes = reinterpret_cast<const char*>(record.bytes.data());
    auto file = absolute.empty() ? nullptr : layer.OpenReplace(absolute, Readers::OwnerOnly, error);
    if (!file || !file->Write(bytes, record.bytes.size(), error) || !file->Commit(error))
        return KeySave::FileError;
    return KeySave::Ok;
}

} // namespace quillmar
