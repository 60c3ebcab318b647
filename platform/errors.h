// Windows error codes, the currency of every platform operation.
#pragma once
#include <cstdint>

namespace ov::platform {

// Unsigned 32-bit, as GetLastError and the Reg* functions return them; the product's
// messages and rules are written in these numbers, so the sim returns the same ones.
using ErrorCode = std::uint32_t;

inline constexpr ErrorCode kSuccess = 0;
inline constexpr ErrorCode kErrorFileNotFound = 2;
inline constexpr ErrorCode kErrorPathNotFound = 3;
inline constexpr ErrorCode kErrorAccessDenied = 5;
inline constexpr ErrorCode kErrorInvalidHandle = 6;
inline constexpr ErrorCode kErrorNotEnoughMemory = 8;
inline constexpr ErrorCode kErrorSharingViolation = 32;
inline constexpr ErrorCode kErrorHandleEof = 38;
inline constexpr ErrorCode kErrorFileExists = 80;
inline constexpr ErrorCode kErrorInvalidParameter = 87;
inline constexpr ErrorCode kErrorInsufficientBuffer = 122;
inline constexpr ErrorCode kErrorDirNotEmpty = 145;
inline constexpr ErrorCode kErrorAlreadyExists = 183;
inline constexpr ErrorCode kErrorMoreData = 234;
inline constexpr ErrorCode kErrorNoMoreItems = 259;
inline constexpr ErrorCode kErrorLockViolation = 33;
inline constexpr ErrorCode kErrorNotSupported = 50;
inline constexpr ErrorCode kErrorDependentServicesRunning = 1051;
inline constexpr ErrorCode kErrorServiceRequestTimeout = 1053;
inline constexpr ErrorCode kErrorServiceAlreadyRunning = 1056;
inline constexpr ErrorCode kErrorServiceDoesNotExist = 1060;
inline constexpr ErrorCode kErrorServiceCannotAcceptCtrl = 1061;
inline constexpr ErrorCode kErrorServiceNotActive = 1062;
inline constexpr ErrorCode kErrorCancelled = 1223;
inline constexpr ErrorCode kErrorBadNetPath = 53;

}  // namespace ov::platform
