#include "ShellExt/settings/SharedValues.h"

SRWLOCK* SharedValuesLock() noexcept
{
    static SRWLOCK s_lock = SRWLOCK_INIT;
    return &s_lock;
}
