// When the companion program may register the package for the user it runs as.
#include <gtest/gtest.h>

#include "ShellExt/companion/UserRegistrationPolicy.h"

namespace {

TEST(UserRegistrationPolicy, RegistersOnlyForAnOrdinaryWindows11Logon)
{
    using Step = UserRegistrationStep;
    struct Case
    {
        UserRegistrationFacts facts;
        Step eStep;
    };
    const Case cases[] = {
        {{false, false, false, 22000}, Step::Proceed},
        {{false, false, false, 26100}, Step::Proceed},
        {{false, false, false, 21999}, Step::SkipBeforeWindows11},
        {{false, false, false, 19045}, Step::SkipBeforeWindows11},
        {{false, false, false, 0}, Step::SkipBeforeWindows11},  // build unreadable
        {{true, false, false, 22631}, Step::SkipServiceAccount},
        {{false, true, false, 22631}, Step::SkipSafeMode},
        {{false, false, true, 22631}, Step::SkipWindowsSetup},
        // A deployment tool during setup: the account is reported first.
        {{true, true, true, 22631}, Step::SkipServiceAccount},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(DecideUserRegistration(c.facts), c.eStep)
            << c.facts.bServiceAccount << c.facts.bSafeMode << c.facts.bWindowsSetup << " " << c.facts.nBuild;
    }
}

}  // namespace
