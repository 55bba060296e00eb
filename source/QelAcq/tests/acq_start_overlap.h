// A request of this process that holds a board while the module's start-up
// reaches that board: the start-up runs on a thread of its own and waits for
// the board's named mutex, which the request holds; only then does the
// request enter the board's critical section, as the requests that route
// events and register callbacks do.
#pragma once

#include <cstdint>
#include <string>

// "overlap <waited> <start-up status>": waited is 1 when the start-up was
// seen waiting for the board's mutex, the status is what `startUp` answered.
std::string StartUpWhileBoardHeld(std::uint32_t board, std::uint32_t (*startUp)());
