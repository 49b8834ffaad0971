// SPDX-License-Identifier: Apache-2.0
// What the option parsers may reach of the system while they are fuzzed. Parsers act
// on some options at once (shell commands, sleeps, files, locks); the targets link this
// unit with the linker wrapping those calls, so that inside the parser they reach
// stand-ins and outside it (the fuzzer's own files) the real calls.
#pragma once

void fuzz_sandbox_enter(void);
void fuzz_sandbox_leave(void);
