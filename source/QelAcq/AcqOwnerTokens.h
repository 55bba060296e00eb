// Tokens that stand in a shared record for a process's own objects (a handle
// copy, a callback, a context, a parameter object holding the lock). A token
// is issued by one process and resolved only there; the record's owner tag
// names that process by id and start time, so that every other process can
// compare tokens and tell whether their issuer still lives without ever
// following an address of another process.
#pragma once

#include <cstdint>

#include "source/QelAcq/AcqDeviceRecord.h"

AcqOwnerTag AcqOwnerTagOfThisProcess();
bool AcqOwnerTagIsThisProcess(const AcqOwnerTag& tag);
// True while the tagged process runs (a process id of 0 names none).
bool AcqOwnerTagIsLive(const AcqOwnerTag& tag);

// A new token for a value of this process: never 0, never issued twice by
// one process.
AcqToken AcqIssueToken(std::uint64_t localValue);
// The value behind a token, when `issuer` is this process and the token is
// still issued; false otherwise (a token of 0 included).
bool AcqResolveToken(const AcqOwnerTag& issuer, AcqToken token, std::uint64_t* localValue);
// Forgets a token of this process; unknown tokens are ignored.
void AcqRetireToken(AcqToken token);
