// Which hive a product value (OrvanePath, OrvaneDir) is taken from. Free of
// Windows headers: the decision is tested natively, table by table.
#pragma once

// What one hive holds under a value's name, as ReadProductText judges it.
enum class ProductValueState
{
    kAbsent,      // no key or no value of that name
    kText,        // REG_SZ or REG_EXPAND_SZ that fits 260 characters, terminator included
    kWrongType,   // any other type: never used as a path
    kTooLong,     // text that does not fit: refused rather than cut
    kUnreadable,  // the key or value could not be read
};

enum class ProductValueSource
{
    kNone,     // neither hive offers a usable value: the target keeps what it had
    kMachine,  // HKEY_LOCAL_MACHINE
    kUser,     // HKEY_CURRENT_USER
};

// A usable per-user value wins over the machine's, value by value, as the
// main application's setup expects. An elevated process takes only what an
// administrator wrote (HKEY_LOCAL_MACHINE), as Windows ignores per-user
// classes there: otherwise anything running as the user could choose the
// program an administrator's right-click starts with full rights.
ProductValueSource ChooseProductValue(bool bElevated, ProductValueState machine, ProductValueState user) noexcept;
