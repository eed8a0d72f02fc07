#include "Commands.h"

#include "Password.h"
#include "blockloop/BlockPipeline.h"
#include "crypto/CipherModules.h"
#include "crypto/KeyFile.h"
#include "crypto/RandomKey.h"
#include "operations/FilePair.h"
#include "platform/os/FileError.h"
#include "platform/os/ReplacingFile.h"
#include "platform/os/Wipe.h"
#include "res/Strings.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quillmar::cli {

namespace {

const char* const kStandardInput = "standard input";
const char* const kStandardOutput = "standard output";

// How long a run goes before it shows progress, and how often it updates it.
constexpr int kProgressDelayMs = 500;
constexpr int kRedrawEveryMs = 200, kPlainEveryMs = 1000;

const char* const kInputClosed = "standard input is closed.";
const char* const kOutputClosed = "standard output is closed.";
const char* const kOneFile = ": source and target are one file.";

bool Closed(const Environment& env, int fd) {
    return env.closed & (1u << fd);
}

// The signal waiting on stopFd, taken off it.
int TakeStopSignal(int stopFd) {
    signalfd_siginfo info{};
    if (::read(stopFd, &info, sizeof info) != ssize_t(sizeof info))
        return SIGINT;
    return int(info.ssi_signo);
}

int StopStatus(int signal) {
    return 128 + signal;
}

// Zero when the module is bound, else the failure's exit status once told.
int CheckModule(const CModule& module, const char* missingMessage) {
    for (const auto& reason : module.Skipped())
        Say(reason);
    switch (module.GetStatus()) {
    case CModule::Status::Bound:
        return kExitDone;
    case CModule::Status::ModuleMissing:
        Say(missingMessage);
        break;
    case CModule::Status::EntryMissing:
        Say(str::kNoFunction);
        break;
    }
    return kExitFailed;
}

// Zero with the password in place, else the exit status once told.
int GetPassword(const PasswordSource& source, bool confirm, const Environment& env,
                std::string& password) {
    // It reads as empty now, which is not what the caller gave.
    if (source.kind == PasswordSource::Kind::Descriptor && source.fd <= STDERR_FILENO &&
        Closed(env, source.fd)) {
        Say("--password-fd " + std::to_string(source.fd) + " names no open descriptor.");
        return kExitUsage;
    }
    const PasswordResult result = ObtainPassword(source, confirm, env.stopFd, password);
    switch (result.status) {
    case PasswordStatus::Ok:
        return kExitDone;
    case PasswordStatus::Cancelled:
        return StopStatus(TakeStopSignal(env.stopFd));
    case PasswordStatus::Refused:
        Say(result.message);
        break;
    }
    return kExitUsage;
}

struct Progress {
    std::uint64_t total; // 0 when not known
    const std::atomic<std::uint64_t>* done;
};

std::string MiB(std::uint64_t bytes) {
    return std::to_string(bytes >> 20);
}

// Runs work on its own thread while this one shows progress and watches for
// a stop signal. With nothing on disk to put right (output on standard
// output only), a signal ends the program at once; otherwise work is asked to
// stop through its flag and finishes cleaning up first. Returns the signal, or 0.
int Supervise(const std::function<void(const std::atomic<bool>&)>& work, const Environment& env,
              bool cleansUp, const Progress* progress) {
    std::atomic<bool> stop{false};
    const int finished = ::eventfd(0, EFD_CLOEXEC);
    if (finished < 0) {
        work(stop); // nothing to watch with: the run simply cannot be stopped early
        return 0;
    }
    std::jthread worker([&] {
        work(stop);
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(finished, &one, sizeof one);
    });
    int signal = 0;
    const bool redrawn = env.progress == ProgressStyle::Redrawn;
    bool shown = false; // a redrawn line is on the terminal
    int timeout = progress && env.progress != ProgressStyle::None ? kProgressDelayMs : -1;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        pollfd fds[2] = {{finished, POLLIN, 0}, {signal ? -1 : env.stopFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || fds[0].revents)
            break;
        if (fds[1].revents & POLLIN) {
            signal = TakeStopSignal(env.stopFd);
            if (shown)
                WriteAll(STDERR_FILENO, "\r\033[K");
            shown = false;
            timeout = -1;
            if (!cleansUp)
                ::_exit(StopStatus(signal));
            stop.store(true, std::memory_order_relaxed);
            continue;
        }
        if (ready == 0) {
            const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
            WriteAll(STDERR_FILENO,
                     ProgressText(env.progress, progress->done->load(std::memory_order_relaxed),
                                  progress->total, seconds.count()));
            shown = redrawn;
            timeout = redrawn ? kRedrawEveryMs : kPlainEveryMs;
        }
    }
    worker.join();
    ::close(finished);
    if (shown)
        WriteAll(STDERR_FILENO, "\r\033[K");
    return signal;
}

std::optional<FileIdentity> RegularFileIdentity(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return IdentityOf(st);
}

// Why a file could not be opened: the system's words when the failed call
// left them (err), else the sentence for error's cause.
std::string Why(const std::string& spelled, const FileError& error, int err) {
    struct stat st {};
    if (err == 0 && error.cause == FileErrorCause::BadPath && ::stat(spelled.c_str(), &st) == 0 &&
        S_ISDIR(st.st_mode))
        err = EISDIR; // refused after a successful open, which left no errno
    if (err != 0 && CauseFromErrno(err) == error.cause)
        return spelled + ": " + std::strerror(err) + ".";
    return FileErrorSentence({error.cause, error.path.empty() ? spelled : error.path});
}

// Opens SOURCE and TARGET, "-" being standard input and output. One file is
// never both source and target, however it is named or redirected. Empty, or
// the window's sentence followed by the file and the reason.
std::string OpenFiles(const CommandLine& line, const Environment& env, BlockFiles& files) {
    const std::string &source = line.source, &target = line.target;
    errno = 0;
    if (source != "-" && target != "-") {
        const BlockOutcome opened = OpenBlockFiles(source, target, PosixFileLayer(), files);
        const int err = errno;
        if (opened.kind == BlockOutcome::Kind::SourceUnopenable)
            return std::string(str::kNoSourceFile) + " " + Why(source, opened.error, err);
        if (opened.kind != BlockOutcome::Kind::TargetUnopenable)
            return {};
        // Said when one file is named twice, and by no call that failed.
        if (opened.error.cause == FileErrorCause::SharingViolation &&
            CauseFromErrno(err) != FileErrorCause::SharingViolation)
            return std::string(str::kNoTargetFile) + " " + target + kOneFile;
        return std::string(str::kNoTargetFile) + " " + Why(target, opened.error, err);
    }
    files = {};
    FileError error{FileErrorCause::BadPath, {}};
    std::string why;
    if (source == "-") {
        if (Closed(env, STDIN_FILENO))
            why = "-: " + std::string(kInputClosed);
        else if (!(files.source = ReaderOnDescriptor(STDIN_FILENO, kStandardInput)))
            error = {FileErrorCause::InvalidFile, kStandardInput};
    } else if (const std::string path = MakeAbsolutePath(source); !path.empty()) {
        files.source = PosixFileLayer().OpenRead(path, Pipes::Refuse, error);
    }
    if (!files.source)
        return std::string(str::kNoSourceFile) + " " +
               (why.empty() ? Why(source, error, errno) : why);
    const auto sourceId = files.source->Identity();
    const std::string path = target == "-" ? std::string() : MakeAbsolutePath(target);
    const auto targetId = target == "-" ? RegularFileIdentity(STDOUT_FILENO) : IdentifyFile(path);
    error = {FileErrorCause::BadPath, {}};
    errno = 0;
    // "encrypt-file f - >> f" would read its own output for ever.
    if (sourceId && targetId && *sourceId == *targetId)
        why = target + kOneFile;
    else if (target == "-" && Closed(env, STDOUT_FILENO))
        why = "-: " + std::string(kOutputClosed);
    else if (target == "-" && !(files.target = WriterOnDescriptor(STDOUT_FILENO, kStandardOutput)))
        error = {FileErrorCause::InvalidFile, kStandardOutput};
    else if (target != "-" && !path.empty())
        files.target = PosixFileLayer().OpenReplace(path, Readers::AsBefore, error);
    if (files.target)
        return {};
    const int err = errno;
    files = {};
    return std::string(str::kNoTargetFile) + " " + (why.empty() ? Why(target, error, err) : why);
}

int RunFileCommand(const CommandLine& line, const Environment& env) {
    const bool encrypt = IsEncrypting(line.command);
    // The file panel's words for a missing module, in both directions.
    const CModule module(kFileModule, encrypt ? kEncryptEntry : kDecryptEntry, env.moduleDirs);
    if (const int status = CheckModule(module, str::kNoEncryptDll))
        return status;
    // Binary output would garble the terminal, and its reader learns nothing.
    if (line.target == "-" && !line.force && ::isatty(STDOUT_FILENO) == 1) {
        Say("Standard output is a terminal: redirect it to a file (> FILE) or a pipe "
            "(| COMMAND), name a TARGET, or give --force to write the bytes there anyway.");
        return kExitUsage;
    }
    BlockFiles files;
    if (const std::string why = OpenFiles(line, env, files); !why.empty()) {
        Say(why);
        return kExitFailed;
    }
    WipedString password{std::string()};
    if (const int status = GetPassword(line.password, encrypt, env, password.Value()))
        return status;
    std::atomic<std::uint64_t> done{0};
    const Progress progress{files.source->Size(), &done};
    BlockOutcome outcome;
    const int signal = Supervise(
        [&](const std::atomic<bool>& stop) {
            outcome = RunFileCipher(files, password.Value().c_str(), module, {&stop, &done});
        },
        env, line.target != "-", line.quiet ? nullptr : &progress);
    files = {}; // an uncommitted target's temporary file goes now
    switch (outcome.kind) {
    case BlockOutcome::Kind::Success:
        return kExitDone;
    case BlockOutcome::Kind::Cancelled:
        return StopStatus(signal ? signal : SIGINT);
    case BlockOutcome::Kind::FileError:
        Say(FileErrorSentence(outcome.error));
        return kExitFailed;
    case BlockOutcome::Kind::SourceUnopenable:
    case BlockOutcome::Kind::TargetUnopenable:
        break;
    }
    return kExitFailed;
}

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

// Nothing is read from or written to a closed standard stream as if it
// were empty: the result would go nowhere, and the run would say it worked.
int RefuseClosed(const Environment& env, bool reads = true) {
    const char* closed = reads && Closed(env, STDIN_FILENO) ? kInputClosed
                         : Closed(env, STDOUT_FILENO)       ? kOutputClosed
                                                            : nullptr;
    if (!closed)
        return kExitDone;
    std::string sentence = closed;
    sentence[0] = 'S';
    Say(sentence);
    return kExitFailed;
}

enum class TextFailure { None, Stopped, TooLong, ZeroByte, File };

// Standard input, whole, through one module call, to standard output.
TextFailure TransformText(CipherEntry entry, const char* password, const std::atomic<bool>& stop,
                          FileError& error) {
    // One module call takes at most this many bytes.
    constexpr std::size_t kMax = std::size_t(std::numeric_limits<std::int32_t>::max());
    auto reader = ReaderOnDescriptor(STDIN_FILENO, kStandardInput);
    if (!reader) {
        error = {FileErrorCause::InvalidFile, kStandardInput};
        return TextFailure::File;
    }
    reader->CancelWith(&stop);
    TextBuffer text;
    text.Reserve(std::min<std::uint64_t>(reader->Size(), kMax) + 1);
    for (;;) {
        if (text.size() > kMax)
            return TextFailure::TooLong;
        const std::size_t want = std::min(kFileChunk, kMax + 1 - text.size());
        const auto n = reader->Read(text.Reserve(want), want, error);
        if (!n)
            return stop.load() ? TextFailure::Stopped : TextFailure::File;
        text.Resize(text.size() + *n);
        if (*n < want)
            break; // the end of the input
    }
    if (std::memchr(text.data(), 0, text.size()))
        return TextFailure::ZeroByte;
    if (text.size() > 0) {
        entry(text.data(), password, std::int32_t(text.size()));
        // As the text panel shows it: a zero byte from the module ends the text.
        text.Resize(strnlen(text.data(), text.size()));
    }
    auto writer = WriterOnDescriptor(STDOUT_FILENO, kStandardOutput);
    if (!writer) {
        error = {FileErrorCause::InvalidFile, kStandardOutput};
        return TextFailure::File;
    }
    if (!writer->Write(text.data(), text.size(), error) || !writer->Commit(error))
        return TextFailure::File;
    return TextFailure::None;
}

int RunTextCommand(const CommandLine& line, const Environment& env) {
    const bool encrypt = IsEncrypting(line.command);
    const CModule module(kTextModule, encrypt ? kEncryptEntry : kDecryptEntry, env.moduleDirs);
    if (const int status = CheckModule(module, encrypt ? str::kNoEncryptDll : str::kNoDecryptDll))
        return status;
    if (const int status = RefuseClosed(env))
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
        Say("The input holds a zero byte, which no text has: encrypt such data with "
            "encrypt-file.");
        break;
    case TextFailure::File:
        Say(FileErrorSentence(error));
        break;
    }
    return kExitFailed;
}

int RunRandomKey(const Environment& env) {
    if (const int status = RefuseClosed(env, false))
        return status;
    auto made = MakeRandomKey();
    if (!made) {
        Say(str::kNoRandomKey);
        return kExitFailed;
    }
    WipedString key(std::move(*made));
    key.Value() += '\n';
    FileError error;
    auto writer = WriterOnDescriptor(STDOUT_FILENO, kStandardOutput);
    if (!writer)
        error = {FileErrorCause::InvalidFile, kStandardOutput};
    if (!writer || !writer->Write(key.Value().data(), key.Value().size(), error) ||
        !writer->Commit(error)) {
        Say(FileErrorSentence(error));
        return kExitFailed;
    }
    return kExitDone;
}

int RunSaveKey(const CommandLine& line, const Environment& env) {
    WipedString password{std::string()};
    if (const int status = GetPassword(line.password, true, env, password.Value()))
        return status;
    KeyRecord record;
    if (!MakeKeyRecord(password.Value(), record)) {
        Say(str::kKeyTooLong);
        return kExitFailed;
    }
    const std::string path = MakeAbsolutePath(line.keyFile);
    FileError error{FileErrorCause::BadPath, line.keyFile};
    if (!path.empty()) {
        // The password stands in the clear: only its owner may read the file.
        auto file = ReplacingFile::Create(path, S_IRUSR | S_IWUSR, error, true);
        if (file && file->Write(record.bytes.data(), record.bytes.size(), error) &&
            file->Commit(error))
            return kExitDone;
    }
    Say(FileErrorSentence(error));
    return kExitFailed;
}

} // namespace

std::string ProgressText(ProgressStyle style, std::uint64_t done, std::uint64_t total,
                         double seconds) {
    std::string text = MiB(done) + " MiB";
    if (total > 0) {
        text =
            std::to_string(std::uint64_t(100.0 * double(std::min(done, total)) / double(total))) +
            " %  " + MiB(done) + "/" + MiB(total) + " MiB";
    }
    if (seconds > 0 && done > 0) {
        const double rate = double(done) / seconds;
        text += "  " + MiB(std::uint64_t(rate)) + " MiB/s";
        if (total > done) {
            const auto left = std::uint64_t(std::ceil(double(total - done) / rate));
            text += "  " +
                    (left < 100    ? std::to_string(left) + " s"
                     : left < 6000 ? std::to_string((left + 59) / 60) + " min"
                                   : std::to_string((left + 3599) / 3600) + " h") +
                    " left";
        }
    }
    // A redrawn line goes back to its start and erases what a longer one left.
    if (style == ProgressStyle::Redrawn)
        return "\rquillmar: " + text + "\033[K";
    return "quillmar: " + text + "\n";
}

int WatchStopSignals() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stopSignals, s);
    ::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return ::signalfd(-1, &stopSignals, SFD_CLOEXEC);
}

int RunCommand(const CommandLine& line, const Environment& env) {
    switch (line.command) {
    case Command::EncryptFile:
    case Command::DecryptFile:
        return RunFileCommand(line, env);
    case Command::EncryptText:
    case Command::DecryptText:
        return RunTextCommand(line, env);
    case Command::RandomKey:
        return RunRandomKey(env);
    case Command::SaveKey:
        return RunSaveKey(line, env);
    case Command::Help:
    case Command::Version:
        break;
    }
    return kExitUsage;
}

void Say(std::string_view message) {
    std::string line = "quillmar: ";
    line += message;
    line += '\n';
    WriteAll(STDERR_FILENO, line);
}

} // namespace quillmar::cli
