#pragma once
// File choosers go through a replaceable service so that tests can answer them.

#include <optional>
#include <string>

namespace quillmar {

class CDialog;

struct FileChooserRequest {
    const CDialog* owner;
    std::string title;
    std::string initialPath;
    bool fileMustExist; // otherwise only the folder must exist
};

class FileChooserService {
public:
    virtual ~FileChooserService() = default;
    // The chosen full path, as bytes, or nothing when cancelled.
    virtual std::optional<std::string> Choose(const FileChooserRequest& request) = 0;
};

void SetFileChooserService(FileChooserService* service);
std::optional<std::string> AfxChooseFile(const FileChooserRequest& request);

} // namespace quillmar
