#pragma once

#include <cstdint>

// The window messages of the system, numbered from WM_USER as the setup files and the
// message table fix them. Submissions and commands are sent (synchronous); completions and
// notifications are posted.
namespace Msg {
constexpr uint32_t WmUser = 1024;

// Completions posted by the transaction engine to the requester.
constexpr uint32_t DetectKX200Result = WmUser + 200; // 1224
constexpr uint32_t DetectKX100Result = WmUser + 201; // 1225
constexpr uint32_t DetectKX300Result = WmUser + 202; // 1226
constexpr uint32_t MonitorPollResult = WmUser + 203; // 1227
constexpr uint32_t AddressKX200Result = WmUser + 206; // 1230
constexpr uint32_t AddressKX100Result = WmUser + 207; // 1231
constexpr uint32_t CommandResult = WmUser + 208;      // 1232
constexpr uint32_t MonitorWriteResult = WmUser + 209; // 1233
constexpr uint32_t UploadStep = WmUser + 210;         // 1234
constexpr uint32_t DownloadStep = WmUser + 211;       // 1235

// Main window messages.
constexpr uint32_t StartUp = WmUser + 401;         // 1425: status panel and splash window
constexpr uint32_t Submit = WmUser + 402;          // 1426: lParam/record = transaction
constexpr uint32_t NextTransaction = WmUser + 403; // 1427
constexpr uint32_t RestartPort = WmUser + 404;     // 1428
constexpr uint32_t InverterState = WmUser + 405;   // 1429: lParam = (slot << 16) + state
constexpr uint32_t QueueDetection = WmUser + 406;  // 1430: wParam = slot
constexpr uint32_t NextDetection = WmUser + 407;   // 1431
constexpr uint32_t OpenMonitor = WmUser + 408;     // 1432: wParam = slot
constexpr uint32_t StartMonitor = WmUser + 409;    // 1433: a monitor window to itself
constexpr uint32_t OpenEditor = WmUser + 410;      // 1434: wParam = slot; an editor's Load
constexpr uint32_t OperatorCommand = WmUser + 413; // 1437: lParam = (slot << 16) + command
constexpr uint32_t StopDetection = WmUser + 420;   // 1444: drop the queued detection probes
constexpr uint32_t OpenTrend = WmUser + 430;       // 1454: wParam = slot
} // namespace Msg

// States carried by Msg::InverterState.
namespace InverterStateCode {
enum : int { NoInverter = 0, Present = 1, Detecting = 2, Fault = 3 };
}

// Commands carried by Msg::OperatorCommand.
namespace OperatorCommandCode {
enum : int { Stop = 0, Run = 1, Forward = 2, RunReverse = 3 };
}
