/*
 * The image's load configuration, for the builds with Control Flow Guard
 * (clang's -mguard=cf; the clang toolchain files turn it on).
 *
 * Windows enforces the guard in an image only if the image's load
 * configuration directory says that its code is instrumented and hands over
 * the table of valid call targets. The linker points that directory at the
 * symbol _load_config_used, which an MSVC or MinGW-w64 11+ CRT defines; the
 * MinGW-w64 10 CRT of our toolchain defines none, nor the two guard pointers
 * that instrumented code calls through, nor a security cookie. So they are
 * here.
 *
 * The directory is written as data directives because some of its fields are
 * the values of absolute symbols that lld defines at link time (the function
 * table's count, GuardFlags), and C cannot put a symbol's address into a
 * 32-bit field of a static initializer. lld checks each guard field against
 * its own symbols and warns if one is wrong. Offsets are those of the public
 * IMAGE_LOAD_CONFIG_DIRECTORY64 layout (Windows 10 SDK's winnt.h), identical
 * for x64 and ARM64; Size covers the fields up to the EH continuation table,
 * which is as far as lld looks.
 *
 * __guard_check_icall_fptr (ARM64 code calls it with the target in x15 before
 * each indirect call) and __guard_dispatch_icall_fptr (x64 code makes each
 * indirect call through it, the target in rax) start out pointing at the
 * stand-ins below: a check that lets every call through and a dispatch that
 * simply jumps to the target. When the process enforces CFG, the loader
 * replaces both with its own checks before any code of the image runs;
 * .00cfg is merged into read-only data, which only the loader writes to.
 *
 * __security_cookie holds the documented default value; the loader replaces
 * it with a random value at load time, for every image whose load
 * configuration names one (Wine's loader does the same).
 */
#if defined(__x86_64__)
#define ORVANE_GUARD_DISPATCH "OrvaneGuardDispatchDirect"
#define ORVANE_GUARD_STANDINS                                                  \
    "OrvaneGuardCheckNothing:\n"                                               \
    "    ret\n"                                                                \
    "    .p2align 4\n"                                                         \
    "OrvaneGuardDispatchDirect:\n"                                             \
    "    jmp *%rax\n"
#elif defined(__aarch64__)
/* ARM64 code only checks; it has no dispatch. */
#define ORVANE_GUARD_DISPATCH "0"
#define ORVANE_GUARD_STANDINS                                                  \
    "OrvaneGuardCheckNothing:\n"                                               \
    "    ret\n"
#else
#error "Control Flow Guard's load configuration is written for x64 and ARM64 only"
#endif

__asm__(
    "    .text\n"
    "    .p2align 4\n"
    ORVANE_GUARD_STANDINS

    "    .section .00cfg,\"dr\"\n"
    "    .p2align 3\n"
    "    .globl __guard_check_icall_fptr\n"
    "__guard_check_icall_fptr:\n"
    "    .quad OrvaneGuardCheckNothing\n"
    "    .globl __guard_dispatch_icall_fptr\n"
    "__guard_dispatch_icall_fptr:\n"
    "    .quad " ORVANE_GUARD_DISPATCH "\n"

    "    .data\n"
    "    .p2align 3\n"
    "    .globl __security_cookie\n"
    "__security_cookie:\n"
    "    .quad 0x00002B992DDFA232\n"          /* the default 64-bit cookie */

    "    .section .rdata,\"dr\"\n"
    "    .p2align 3\n"
    "    .globl _load_config_used\n"
    "_load_config_used:\n"
    "    .long 0x118\n"                       /* 0x00 Size */
    "    .long 0\n"                           /* 0x04 TimeDateStamp */
    "    .short 0, 0\n"                       /* 0x08 MajorVersion, MinorVersion */
    "    .long 0, 0, 0\n"                     /* 0x0c GlobalFlagsClear, GlobalFlagsSet,
                                                      CriticalSectionDefaultTimeout */
    "    .quad 0, 0, 0, 0, 0, 0\n"            /* 0x18 DeCommitFreeBlockThreshold, DeCommitTotalFreeThreshold,
                                                      LockPrefixTable, MaximumAllocationSize,
                                                      VirtualMemoryThreshold, ProcessAffinityMask */
    "    .long 0\n"                           /* 0x48 ProcessHeapFlags */
    "    .short 0, 0\n"                       /* 0x4c CSDVersion, DependentLoadFlags */
    "    .quad 0\n"                           /* 0x50 EditList */
    "    .quad __security_cookie\n"           /* 0x58 SecurityCookie */
    "    .quad 0, 0\n"                        /* 0x60 SEHandlerTable, SEHandlerCount (x86 only) */
    "    .quad __guard_check_icall_fptr\n"    /* 0x70 GuardCFCheckFunctionPointer */
    "    .quad __guard_dispatch_icall_fptr\n" /* 0x78 GuardCFDispatchFunctionPointer */
    "    .quad __guard_fids_table\n"          /* 0x80 GuardCFFunctionTable */
    "    .quad __guard_fids_count\n"          /* 0x88 GuardCFFunctionCount */
    "    .long __guard_flags\n"               /* 0x90 GuardFlags */
    "    .short 0, 0\n"                       /* 0x94 CodeIntegrity: Flags, Catalog */
    "    .long 0, 0\n"                        /* 0x98                CatalogOffset, Reserved */
    "    .quad __guard_iat_table\n"           /* 0xa0 GuardAddressTakenIatEntryTable */
    "    .quad __guard_iat_count\n"           /* 0xa8 GuardAddressTakenIatEntryCount */
    "    .quad __guard_longjmp_table\n"       /* 0xb0 GuardLongJumpTargetTable */
    "    .quad __guard_longjmp_count\n"       /* 0xb8 GuardLongJumpTargetCount */
    "    .quad 0, 0, 0, 0\n"                  /* 0xc0 DynamicValueRelocTable, CHPEMetadataPointer,
                                                      GuardRFFailureRoutine,
                                                      GuardRFFailureRoutineFunctionPointer */
    "    .long 0\n"                           /* 0xe0 DynamicValueRelocTableOffset */
    "    .short 0, 0\n"                       /* 0xe4 DynamicValueRelocTableSection, Reserved2 */
    "    .quad 0\n"                           /* 0xe8 GuardRFVerifyStackPointerFunctionPointer */
    "    .long 0, 0\n"                        /* 0xf0 HotPatchTableOffset, Reserved3 */
    "    .quad 0, 0\n"                        /* 0xf8 EnclaveConfigurationPointer, VolatileMetadataPointer */
    "    .quad __guard_eh_cont_table\n"       /* 0x108 GuardEHContinuationTable */
    "    .quad __guard_eh_cont_count\n"       /* 0x110 GuardEHContinuationCount */
    "    .text\n");
