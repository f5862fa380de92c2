#include "app/administrator_relay.h"

#include "app/fault_injection.h"
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

// The reply as it travels: this header, then for each outcome it carries
// (the script's, then the program's) an OutcomeHeader and the names of its
// backups in UTF-16.
struct ReplyHeader {
    ULONGLONG nonce;
    DWORD plan;    // PlanCode
    DWORD carried; // bit 0: the script's outcome follows; bit 1: the program's
};
struct OutcomeHeader {
    DWORD action;
    DWORD error;
    DWORD systemError;
    DWORD flags;
    DWORD backupChars;
    DWORD programBackupChars;
};
// OutcomeHeader's flags: one bit for each of StyleScriptOutcome's notes.
constexpr bool StyleScriptOutcome::*kReplyFlags[] = {
    &StyleScriptOutcome::embeddedManifestWins, &StyleScriptOutcome::alreadyStyled,
    &StyleScriptOutcome::touchFailed,          &StyleScriptOutcome::noManifest,
    &StyleScriptOutcome::foreignManifest,      &StyleScriptOutcome::unproven};

DWORD PlanCode(const Plan& plan) {
    return DWORD(plan.script) << 4 | DWORD(plan.program);
}

// Reads one outcome at `at`, which advances past it; nothing where the bytes
// do not hold a whole one.
std::optional<StyleScriptOutcome> DecodeOutcome(const BYTE* data, size_t size, size_t& at) {
    OutcomeHeader header;
    if (size - at < sizeof header)
        return std::nullopt;
    std::memcpy(&header, data + at, sizeof header);
    at += sizeof header;
    if (header.backupChars > kLongestName || header.programBackupChars > kLongestName ||
        (size - at) / sizeof(wchar_t) < size_t(header.backupChars) + header.programBackupChars)
        return std::nullopt;
    StyleScriptOutcome outcome;
    outcome.action = StyleScriptAction(header.action);
    outcome.error = header.error;
    outcome.systemError = header.systemError;
    for (size_t bit = 0; bit < std::size(kReplyFlags); ++bit)
        outcome.*kReplyFlags[bit] = header.flags & (1u << bit);
    for (auto [name, chars] : {std::pair{&outcome.backupName, header.backupChars},
                               std::pair{&outcome.programBackupName, header.programBackupChars}}) {
        name->resize(chars);
        std::memcpy(name->data(), data + at, chars * sizeof(wchar_t));
        at += chars * sizeof(wchar_t);
    }
    return outcome;
}

void EncodeOutcome(const StyleScriptOutcome& outcome, std::vector<BYTE>& bytes) {
    OutcomeHeader header = {DWORD(outcome.action),
                            outcome.error,
                            outcome.systemError,
                            0,
                            DWORD(outcome.backupName.size()),
                            DWORD(outcome.programBackupName.size())};
    for (size_t bit = 0; bit < std::size(kReplyFlags); ++bit)
        header.flags |= outcome.*kReplyFlags[bit] ? 1u << bit : 0;
    const auto append = [&](const void* from, size_t size) {
        bytes.insert(bytes.end(), static_cast<const BYTE*>(from),
                     static_cast<const BYTE*>(from) + size);
    };
    append(&header, sizeof header);
    append(outcome.backupName.data(), outcome.backupName.size() * sizeof(wchar_t));
    append(outcome.programBackupName.data(), outcome.programBackupName.size() * sizeof(wchar_t));
}

// The outcome a reply carries for `request`; nothing for any other data.
std::optional<RequestOutcome> DecodeReply(const RelayRequest& request, const COPYDATASTRUCT& data) {
    ReplyHeader header;
    if (data.dwData != kReplyTag || !data.lpData || data.cbData < sizeof header)
        return std::nullopt;
    const BYTE* bytes = static_cast<const BYTE*>(data.lpData);
    std::memcpy(&header, bytes, sizeof header);
    if (header.nonce != request.nonce || header.plan != PlanCode(request.plan) ||
        header.carried > 3)
        return std::nullopt;
    RequestOutcome outcome;
    size_t at = sizeof header;
    for (auto [step, bit] : {std::pair{&outcome.script, 1u}, std::pair{&outcome.program, 2u}}) {
        if (!(header.carried & bit))
            continue;
        *step = DecodeOutcome(bytes, data.cbData, at);
        if (!*step)
            return std::nullopt;
    }
    if (at != data.cbData)
        return std::nullopt;
    return outcome;
}

void SendReply(const RelayRequest& request, const RequestOutcome& outcome) {
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
    RelayReply reply(request.nonce, request.plan, outcome);
    COPYDATASTRUCT data = reply.data();
    DWORD_PTR answer = 0;
    ::SendMessageTimeoutW(request.replyTo, WM_COPYDATA, reinterpret_cast<WPARAM>(sender.get()),
                          reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                          &answer);
}

const wchar_t* SwitchesForPlan(const Plan& plan) {
    if (plan == kRemovalPlan)
        return L"/remove";
    if (plan == kAddStylePlan)
        return L"/embed";
    return plan.program == ProgramStep::addStyle ? L"/create /embed" : L"/create";
}

} // namespace

bool MayRunAsAdministrator(const Plan& plan, const Inspection& inspection, DWORD error) {
    const bool refused = (plan.script == ScriptStep::create && inspection.createRefused) ||
                         (plan.script == ScriptStep::remove && inspection.removalRefused);
    if (error != ERROR_ACCESS_DENIED || refused)
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

RelayRequest NewRelayRequest(const Plan& plan, HWND replyTo) {
    // 63 bits, so that the number reads back as it was written.
    return {plan, replyTo, RandomNumber() >> 1, {}};
}

std::wstring RelayArguments(const RelayRequest& request, const std::wstring& path) {
    std::wstring arguments = SwitchesForPlan(request.plan);
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

std::optional<RelayRequest> ParseReplyTo(const Plan& plan, std::wstring_view argument) {
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
    return RelayRequest{plan,
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
    RequestOutcome outcome;
    if (error == ERROR_SUCCESS) {
        const Inspection inspection = Inspect(path);
        outcome = CarryOutPlan(request.plan, path, &inspection, UpdateHooks());
    } else {
        outcome = PlanFailure(request.plan, error);
    }
    SendReply(request, outcome);
    return static_cast<int>(ExitCodeOf(outcome));
}

RelayReply::RelayReply(ULONGLONG nonce, const Plan& plan, const RequestOutcome& outcome) {
    const ReplyHeader header = {nonce, PlanCode(plan),
                                DWORD(outcome.script ? 1 : 0) | DWORD(outcome.program ? 2 : 0)};
    bytes_.resize(sizeof header);
    std::memcpy(bytes_.data(), &header, sizeof header);
    for (const auto* step : {&outcome.script, &outcome.program}) {
        if (*step)
            EncodeOutcome(**step, bytes_);
    }
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

RequestOutcome RelayWait::End(DWORD exitCode) {
    waiting_ = false;
    if (reply_ && ExitCodeOf(*reply_) == exitCode)
        return *std::exchange(reply_, std::nullopt);
    reply_.reset();
    const Plan& plan = request_.plan;
    RequestOutcome told;
    if (plan.script != ScriptStep::none) {
        StyleScriptOutcome& script = told.script.emplace();
        script.action = plan.script == ScriptStep::remove ? StyleScriptAction::remove
                                                          : StyleScriptAction::create;
        if (exitCode == kForeignManifestExitCode && plan.script == ScriptStep::remove)
            script.foreignManifest = true;
        else if (exitCode == ERROR_SUCCESS && plan.script == ScriptStep::remove)
            script.unreported = true; // done, or nothing was there to do
        else
            script.error = exitCode;
        if (exitCode != ERROR_SUCCESS || plan.program != ProgramStep::addStyle)
            return told;
    }
    StyleScriptOutcome& program = told.program.emplace();
    program.action = StyleScriptAction::embed;
    program.error = exitCode;
    program.unreported = exitCode == ERROR_SUCCESS;
    return told;
}

} // namespace sheen
