// Whether this process runs with an administrator's full rights. Explorer's
// classic handler also loads into elevated programs' Open and Save dialogs,
// where nothing a normal user can write may choose what the extension does.
#pragma once

// True when the process token is elevated (TokenIsElevated), and also when
// the token cannot be asked: a process that cannot tell is treated as the
// one with more to lose. The integrity level is not consulted (Wine, for
// one, leaves it high for a limited token). The token is asked once per
// process; a query that failed is asked again at the next call.
bool IsProcessElevated() noexcept;
