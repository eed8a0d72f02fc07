#include "cli/CommandParts.h"

#include "cli/Supervise.h"
#include "operations/Binding.h"
#include "operations/FilePair.h"
#include "operations/TextCipher.h"
#include "platform/locale/Translate.h"
#include "platform/os/Wipe.h"
#include "res/Strings.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace quillmar::cli {

namespace {

// A text read whole. Every buffer it leaves behind is wiped: the text may be
// the secret.
class TextBuffer {
public:
    TextBuffer() = default;
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;
    ~TextBuffer() { SecureWipe(m_data.get(), m_capacity); }

    char* data() { return m_data.get(); }
    std::size_t size() const { return m_size; }
    // Room for n more bytes at the end.
    char* Reserve(std::size_t n) {
        if (m_capacity - m_size < n) {
            const std::size_t capacity = std::max({m_capacity * 2, m_size + n, kFileChunk});
            auto bigger = std::make_unique<char[]>(capacity);
            if (m_size > 0)
                std::memcpy(bigger.get(), m_data.get(), m_size);
            SecureWipe(m_data.get(), m_capacity);
            m_data = std::move(bigger);
            m_capacity = capacity;
        }
        return m_data.get() + m_size;
    }
    void Resize(std::size_t n) { m_size = n; }

private:
    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0, m_capacity = 0;
};

enum class TextFailure { None, Stopped, TooLong, ZeroByte, File };

// Standard input, whole, through one module call, to standard output.
TextFailure TransformText(CipherEntry entry, const char* password, const std::atomic<bool>& stop,
                          FileError& error) {
    auto reader = ReaderOnDescriptor(STDIN_FILENO, kStandardInput);
    if (!reader) {
        error = {FileErrorCause::InvalidFile, kStandardInput};
        return TextFailure::File;
    }
    reader->CancelWith(&stop);
    TextBuffer text;
    // A regular file's size is known: room for all of it at once.
    text.Reserve(FitsOneCall(reader->Size()) ? std::size_t(reader->Size()) + 1 : kFileChunk);
    for (;;) {
        if (!FitsOneCall(text.size()))
            return TextFailure::TooLong;
        const std::size_t want = kFileChunk;
        const auto n = reader->Read(text.Reserve(want), want, error);
        if (!n)
            return stop.load() ? TextFailure::Stopped : TextFailure::File;
        text.Resize(text.size() + *n);
        if (*n < want)
            break; // the end of the input
    }
    if (std::memchr(text.data(), 0, text.size()))
        return TextFailure::ZeroByte;
    text.Resize(RunTextCipher(entry, password, text.data(), text.size()));
    return WriteStandardOutput(text.data(), text.size(), error) ? TextFailure::None
                                                                : TextFailure::File;
}

} // namespace

int RunTextCommand(const CommandLine& line, const Environment& env) {
    const bool encrypt = IsEncrypting(line.command);
    const CipherChoice choice = TextModuleFor(encrypt);
    const CModule module(choice.module, choice.entry, env.moduleDirs);
    if (const int status = CheckModule(module, BindingFailure(module, choice.missingMessage)))
        return status;
    if (const int status = RefuseClosed(true))
        return status;
    WipedString password{std::string()};
    if (const int status = GetPassword(line.password, encrypt, env, password.Value()))
        return status;
    TextFailure failure = TextFailure::None;
    FileError error;
    const int signal = Supervise(
        [&](const std::atomic<bool>& stop) {
            failure = TransformText(module.Entry(), password.Value().c_str(), stop, error);
        },
        env, false, nullptr);
    switch (failure) {
    case TextFailure::None:
        return kExitDone;
    case TextFailure::Stopped:
        return StopStatus(signal ? signal : SIGINT);
    case TextFailure::TooLong:
        Say(str::kTextTooLong);
        break;
    case TextFailure::ZeroByte:
        Say(N_("The input holds a zero byte, which no text has: encrypt such data with "
               "encrypt-file."));
        break;
    case TextFailure::File:
        return ReportFileError(error);
    }
    return kExitFailed;
}

} // namespace quillmar::cli
