// The approval policy: which actions wait for the user's yes before they are performed.
#pragma once

namespace tavro {

enum class TavroApproval {
    everyStep,
    deleteOrPay,
    never,
};

}  // namespace tavro
