#include "app/administrator_relay.h"

#include "app/fault_injection.h"
#include "app/program_embedding.h"
#include "platform/elevation.h"
#include "platform/error_text.h"
#include "platform/file_name.h"
#include "platform/number_text.h"
#include "platform/random_number.h"
#include "platform/session_drive.h"
#include "platform/system_info.h"
#include "platform/unique_handle.h"
#include "resources/product.h"

#include <cstring>
#include <cwchar>
#include <iterator>
#include <utility>

namespace sheen {
namespace {

constexpr std::wstring_view kReplyTo = L"/reply-to:";
constexpr ULONG_PTR kReplyTag = 0x53575232; // "SWR2": an elevated instance's outcome
constexpr UINT kAnswerTimeoutMs = 10000;
constexpr size_t kLongestName = 32767; // a backup's file name, in characters

// The reply as it travels: this header, then the backup's name in UTF-16.
struct ReplyHeader {
    ULONGLONG nonce;
    DWORD action;
    DWORD error;
    DWORD systemError;
    DWORD flags;
};
// ReplyHeader's flags: one bit for each of StyleScriptOutcome's notes.
constexpr bool StyleScriptOutcome::*kReplyFlags[] = {
    &StyleScriptOutcome::embeddedManifestWins, &StyleScriptOutcome::alreadyStyled,
    &StyleScriptOutcome::touchFailed,          &StyleScriptOutcome::noManifest,
    &StyleScriptOutcome::foreignManifest,      &StyleScriptOutcome::unproven};

// The outcome a reply carries for `request`; nothing for any other data.
std::optional<StyleScriptOutcome> DecodeReply(const RelayRequest& request,
                                              const COPYDATASTRUCT& data) {
    ReplyHeader header;
    const DWORD nameBytes = data.cbData - sizeof header;
    if (data.dwData != kReplyTag || !data.lpData || data.cbData < sizeof header ||
        nameBytes % sizeof(wchar_t) != 0 || nameBytes / sizeof(wchar_t) > kLongestName)
        return std::nullopt;
    std::memcpy(&header, data.lpData, sizeof header);
    if (header.nonce != request.nonce || header.action != DWORD(request.action))
        return std::nullopt;
    StyleScriptOutcome outcome;
    outcome.action = request.action;
    outcome.error = header.error;
    outcome.systemError = header.systemError;
    for (size_t bit = 0; bit < std::size(kReplyFlags); ++bit)
        outcome.*kReplyFlags[bit] = header.flags & (1u << bit);
    outcome.backupName.resize(nameBytes / sizeof(wchar_t));
    std::memcpy(outcome.backupName.data(), static_cast<const BYTE*>(data.lpData) + sizeof header,
                nameBytes);
    // The program's backup, if any, follows the manifest's after a NUL.
    if (const size_t end = outcome.backupName.find(L'\0'); end != std::wstring::npos) {
        outcome.programBackupName = outcome.backupName.substr(end + 1);
        outcome.backupName.resize(end);
    }
    return outcome;
}

void SendReply(const RelayRequest& request, const StyleScriptOutcome& outcome) {
    wchar_t windowClass[64] = {};
    if (!::GetClassNameW(request.replyTo, windowClass, 64) ||
        std::wstring_view(windowClass) != L"" SHEENWRIGHT_WINDOW_CLASS)
        return;
    // A window of this process sends it, so that the asking window can tell
    // that it comes from the process it started.
    const UniqueWindow sender(::CreateWindowExW(0, L"Static", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                                nullptr, nullptr, nullptr));
    if (!sender)
        return; // the exit code still tells
    RelayReply reply(request.nonce, outcome);
    COPYDATASTRUCT data = reply.data();
    DWORD_PTR answer = 0;
    ::SendMessageTimeoutW(request.replyTo, WM_COPYDATA, reinterpret_cast<WPARAM>(sender.get()),
                          reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                          &answer);
}

const wchar_t* SwitchForAction(StyleScriptAction action) {
    switch (action) {
    case StyleScriptAction::remove:
        return L"/remove";
    case StyleScriptAction::embed:
        return L"/create /embed";
    default:
        return L"/create";
    }
}

} // namespace

bool MayRunAsAdministrator(StyleScriptAction action, const std::wstring& targetPath, DWORD error) {
    if (error != ERROR_ACCESS_DENIED || RefusedToAnyone(action, targetPath))
        return false;
    OsVersion os;
    if (ReadOsVersion(os) != ERROR_SUCCESS || !HasUserAccountControl(os))
        return false;
    return RunsWithLimitedToken();
}

std::wstring PathForAdministrator(const std::wstring& targetPath) {
    // Made full, a name loses its trailing dots and blanks: the script's name,
    // made full, keeps the program's whole, and is the very file that was tried.
    constexpr size_t kSuffix = std::wstring_view(L".manifest").size();
    std::wstring full;
    if (FullPathForCreate(StyleScriptPath(targetPath), full) != ERROR_SUCCESS)
        return targetPath;
    full.resize(full.size() - kSuffix);
    return ResolveSessionDrive(full);
}

DWORD PinProgramFolder(const std::wstring& targetPath, std::wstring& handedOver,
                       FolderIdentity& folder) {
    // A link on the way could be pointed elsewhere before the administrator
    // gets there: hand over the folder it leads to now, and which one it is.
    const std::wstring path = PathForAdministrator(targetPath);
    const size_t name = SplitPath(path).folder.size();
    HeldFolder held;
    if (const DWORD error = held.Open(path.substr(0, name), folder))
        return error;
    if (const DWORD error = held.FinalPath(handedOver))
        return error;
    // The plain form, as the path box had it, where the path is not too long for it.
    constexpr std::wstring_view kUnc = L"\\\\?\\UNC\\";
    if (!path.starts_with(kExtendedPrefix) && handedOver.starts_with(kExtendedPrefix) &&
        handedOver.size() + path.size() - name < MAX_PATH) {
        if (handedOver.starts_with(kUnc))
            handedOver.erase(2, kUnc.size() - 2); // \\?\UNC\server\... is \\server\...
        else
            handedOver.erase(0, kExtendedPrefix.size());
    }
    handedOver.append(path, name - 1);
    return ERROR_SUCCESS;
}

RelayRequest NewRelayRequest(StyleScriptAction action, HWND replyTo) {
    // 63 bits, so that the number reads back as it was written.
    return {action, replyTo, RandomNumber() >> 1, {}};
}

std::wstring RelayArguments(const RelayRequest& request, const std::wstring& path) {
    std::wstring arguments = SwitchForAction(request.action);
    arguments += L" ";
    arguments += kReplyTo;
    arguments += DecimalText(std::int64_t(reinterpret_cast<UINT_PTR>(request.replyTo)));
    for (const ULONGLONG number : {request.nonce, ULONGLONG(request.folder.volume),
                                   request.folder.file >> 32, request.folder.file & 0xFFFFFFFF}) {
        arguments += L':';
        arguments += DecimalText(std::int64_t(number));
    }
    // Backslashes right before the closing quote would escape it: double them.
    const size_t lastOther = path.find_last_not_of(L'\\');
    const size_t trailing = path.size() - (lastOther == std::wstring::npos ? 0 : lastOther + 1);
    arguments += L" \"";
    arguments += path;
    arguments.append(trailing, L'\\');
    arguments += L'"';
    return arguments;
}

std::optional<RelayRequest> ParseReplyTo(StyleScriptAction action, std::wstring_view argument) {
    if (!argument.starts_with(kReplyTo))
        return std::nullopt;
    const std::wstring numbers(argument.substr(kReplyTo.size()));
    wchar_t* end = nullptr;
    const auto window = std::wcstoull(numbers.c_str(), &end, 10);
    if (*end != L':')
        return std::nullopt;
    // The request's number, then the folder's volume and the halves of its file index.
    ULONGLONG parts[4] = {};
    for (size_t part = 0; part < std::size(parts); ++part) {
        parts[part] = std::wcstoull(end + 1, &end, 10);
        if (*end != (part + 1 < std::size(parts) ? L':' : L'\0'))
            return std::nullopt;
    }
    return RelayRequest{action,
                        reinterpret_cast<HWND>(static_cast<UINT_PTR>(window)),
                        parts[0],
                        {DWORD(parts[1]), parts[2] << 32 | DWORD(parts[3])}};
}

int RunRelayedRequest(const RelayRequest& request, const std::wstring& path) {
    InjectStall("RunRelayedRequest");
    HeldFolder folder; // for the whole run
    FolderIdentity found;
    DWORD error = folder.Open(std::wstring(SplitPath(path).folder), found);
    if (error == ERROR_SUCCESS && !(found == request.folder))
        error = kFolderChangedError;
    const StyleScriptOutcome outcome = error == ERROR_SUCCESS
                                           ? CarryOutRequest(request.action, path)
                                           : StyleScriptFailure(request.action, error);
    SendReply(request, outcome);
    return static_cast<int>(ExitCodeOf(outcome));
}

RelayReply::RelayReply(ULONGLONG nonce, const StyleScriptOutcome& outcome) {
    ReplyHeader header = {nonce, DWORD(outcome.action), outcome.error, outcome.systemError, 0};
    for (size_t bit = 0; bit < std::size(kReplyFlags); ++bit)
        header.flags |= outcome.*kReplyFlags[bit] ? 1u << bit : 0;
    const std::wstring names = outcome.programBackupName.empty()
                                   ? outcome.backupName
                                   : outcome.backupName + L'\0' + outcome.programBackupName;
    bytes_.resize(sizeof header + names.size() * sizeof(wchar_t));
    std::memcpy(bytes_.data(), &header, sizeof header);
    std::memcpy(bytes_.data() + sizeof header, names.data(), names.size() * sizeof(wchar_t));
}

COPYDATASTRUCT RelayReply::data() {
    return {kReplyTag, static_cast<DWORD>(bytes_.size()), bytes_.data()};
}

void RelayWait::Begin(const RelayRequest& request) {
    waiting_ = true;
    processId_ = 0;
    request_ = request;
    reply_.reset();
}

void RelayWait::Started(DWORD processId) {
    processId_ = processId;
    if (reply_ && replySender_ != processId)
        reply_.reset();
}

bool RelayWait::Receive(HWND sender, const COPYDATASTRUCT& data) {
    DWORD senderProcess = 0;
    if (!waiting_ || reply_ || !sender || !::GetWindowThreadProcessId(sender, &senderProcess) ||
        (processId_ && senderProcess != processId_))
        return false;
    reply_ = DecodeReply(request_, data);
    replySender_ = senderProcess;
    return reply_.has_value();
}

StyleScriptOutcome RelayWait::End(DWORD exitCode) {
    waiting_ = false;
    if (reply_ && ExitCodeOf(*reply_) == exitCode)
        return *std::exchange(reply_, std::nullopt);
    reply_.reset();
    StyleScriptOutcome told;
    told.action = request_.action;
    if (exitCode == kForeignManifestExitCode && request_.action == StyleScriptAction::remove)
        told.foreignManifest = true;
    else if (exitCode == ERROR_SUCCESS && request_.action != StyleScriptAction::create)
        told.unreported = true; // done, or nothing was there to do
    else
        told.error = exitCode;
    return told;
}

} // namespace sheen
