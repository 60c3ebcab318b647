// Windows error codes, the currency of every platform operation.
#pragma once
#include <cstdint>

namespace ov::platform {

// Unsigned 32-bit, as GetLastError and the Reg* functions return them; the product's
// messages and rules are written in these numbers, so the sim returns the same ones. Every
// code the product or the sim names lives here, in the order of its value.
using ErrorCode = std::uint32_t;

inline constexpr ErrorCode kSuccess = 0;                           // ERROR_SUCCESS
inline constexpr ErrorCode kErrorInvalidFunction = 1;              // ERROR_INVALID_FUNCTION
inline constexpr ErrorCode kErrorFileNotFound = 2;                 // ERROR_FILE_NOT_FOUND
inline constexpr ErrorCode kErrorPathNotFound = 3;                 // ERROR_PATH_NOT_FOUND
inline constexpr ErrorCode kErrorAccessDenied = 5;                 // ERROR_ACCESS_DENIED
inline constexpr ErrorCode kErrorInvalidHandle = 6;                // ERROR_INVALID_HANDLE
inline constexpr ErrorCode kErrorNotEnoughMemory = 8;              // ERROR_NOT_ENOUGH_MEMORY
inline constexpr ErrorCode kErrorSharingViolation = 32;            // ERROR_SHARING_VIOLATION
inline constexpr ErrorCode kErrorLockViolation = 33;               // ERROR_LOCK_VIOLATION
inline constexpr ErrorCode kErrorHandleEof = 38;                   // ERROR_HANDLE_EOF
inline constexpr ErrorCode kErrorNotSupported = 50;                // ERROR_NOT_SUPPORTED
inline constexpr ErrorCode kErrorBadNetPath = 53;                  // ERROR_BAD_NETPATH
inline constexpr ErrorCode kErrorFileExists = 80;                  // ERROR_FILE_EXISTS
inline constexpr ErrorCode kErrorInvalidParameter = 87;            // ERROR_INVALID_PARAMETER
inline constexpr ErrorCode kErrorBrokenPipe = 109;                 // ERROR_BROKEN_PIPE: reading, the writer is gone
inline constexpr ErrorCode kErrorInsufficientBuffer = 122;         // ERROR_INSUFFICIENT_BUFFER
inline constexpr ErrorCode kErrorInvalidName = 123;                // ERROR_INVALID_NAME
inline constexpr ErrorCode kErrorModNotFound = 126;                // ERROR_MOD_NOT_FOUND
inline constexpr ErrorCode kErrorProcNotFound = 127;               // ERROR_PROC_NOT_FOUND
inline constexpr ErrorCode kErrorNegativeSeek = 131;               // ERROR_NEGATIVE_SEEK
inline constexpr ErrorCode kErrorDirNotEmpty = 145;                // ERROR_DIR_NOT_EMPTY
inline constexpr ErrorCode kErrorAlreadyExists = 183;              // ERROR_ALREADY_EXISTS
inline constexpr ErrorCode kErrorBadExeFormat = 193;               // ERROR_BAD_EXE_FORMAT
inline constexpr ErrorCode kErrorNoData = 232;                     // ERROR_NO_DATA: writing, the reader is gone
inline constexpr ErrorCode kErrorMoreData = 234;                   // ERROR_MORE_DATA
inline constexpr ErrorCode kErrorNoMoreItems = 259;                // ERROR_NO_MORE_ITEMS
inline constexpr ErrorCode kErrorInvalidAddress = 487;             // ERROR_INVALID_ADDRESS
inline constexpr ErrorCode kErrorKeyDeleted = 1018;                // ERROR_KEY_DELETED
inline constexpr ErrorCode kErrorDependentServicesRunning = 1051;  // ERROR_DEPENDENT_SERVICES_RUNNING
inline constexpr ErrorCode kErrorInvalidServiceControl = 1052;     // ERROR_INVALID_SERVICE_CONTROL
inline constexpr ErrorCode kErrorServiceRequestTimeout = 1053;     // ERROR_SERVICE_REQUEST_TIMEOUT
inline constexpr ErrorCode kErrorServiceAlreadyRunning = 1056;     // ERROR_SERVICE_ALREADY_RUNNING
inline constexpr ErrorCode kErrorServiceDoesNotExist = 1060;       // ERROR_SERVICE_DOES_NOT_EXIST
inline constexpr ErrorCode kErrorServiceCannotAcceptCtrl = 1061;   // ERROR_SERVICE_CANNOT_ACCEPT_CTRL
inline constexpr ErrorCode kErrorServiceNotActive = 1062;          // ERROR_SERVICE_NOT_ACTIVE
inline constexpr ErrorCode kErrorDatabaseDoesNotExist = 1065;      // ERROR_DATABASE_DOES_NOT_EXIST
inline constexpr ErrorCode kErrorServiceDependencyFail = 1068;     // ERROR_SERVICE_DEPENDENCY_FAIL
inline constexpr ErrorCode kErrorCancelled = 1223;                 // ERROR_CANCELLED

}  // namespace ov::platform
