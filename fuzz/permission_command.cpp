// The permission command "<word>:<trustee>[:<rights>]" and its rights string.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/Check.h"
#include "support/RegistryHelpers.h"

using namespace zmp;

namespace {

constexpr Dword kKnownRights = reg::kKeyAllAccess | reg::kKeyRead | reg::kKeyWrite | reg::kKeyCreateLink;

void CheckRights(const std::string& rights) {
    AccessRights parsed = ParseAccessRights(rights);
    ZMP_FUZZ_CHECK(parsed.result == err::kSuccess || parsed.result == err::kInvalidParameter ||
                   parsed.result == err::kNotEnoughMemory);
    ZMP_FUZZ_CHECK((parsed.mask & ~kKnownRights) == 0);
    // Only the first 511 characters are read; an odd count gives nothing.
    const std::size_t used = rights.size() < 511 ? rights.size() : 511;
    if (used % 2 != 0) ZMP_FUZZ_CHECK(parsed.mask == 0 && parsed.result == err::kInvalidParameter);
    if (used == 0) ZMP_FUZZ_CHECK(parsed.mask == 0 && parsed.result == err::kSuccess);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckRights(text);

    PermissionCommand command;
    Dword result = ParsePermissionCommand(text, command);
    ZMP_FUZZ_CHECK(result == err::kSuccess || result == err::kInvalidParameter);
    ZMP_FUZZ_CHECK(command.mode <= sec::kRevokeAccess);
    ZMP_FUZZ_CHECK((command.mask & ~kKnownRights) == 0);
    if (result == err::kSuccess) {
        ZMP_FUZZ_CHECK(!command.trustee.empty());
        ZMP_FUZZ_CHECK(command.trustee.find(':') == std::string::npos);
        // Revoke and an unnamed mode carry no rights.
        if (command.mode == sec::kRevokeAccess || command.mode == sec::kNotUsedAccess)
            ZMP_FUZZ_CHECK(command.mask == 0);
    }
    return 0;
}
