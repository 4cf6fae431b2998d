#include "win/hook/HookTypes.h"

#include "core/TextUtils.h"
#include "win/common/WideText.h"

// what() carries the message as UTF-8, so a general handler shows the same text.
EHookWindowError::EHookWindowError(const std::wstring& message)
    : std::runtime_error(Utf16ToUtf8(U(message))), FMessage(message) {}
