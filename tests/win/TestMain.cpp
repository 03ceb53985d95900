#include <gtest/gtest.h>

#include <windows.h>

#include "ShellExt/module/Module.h"

int main(int argc, char** argv)
{
    // The module code is linked into this program, so its resources are too.
    g_hInstance = ::GetModuleHandleW(nullptr);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
