// A handle table's lookups on two threads while the test's own thread makes
// and frees the handles a number of times.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

// `wrongAnswers()` looks up once and answers how many of its answers were
// wrong; `churn()` frees and makes the handles once. The sum of wrong answers.
template <typename Lookup, typename Churn>
std::uint32_t WrongLookupsWhileChurning(Lookup wrongAnswers, Churn churn, int times) {
  std::atomic<bool> churning{true};
  std::atomic<std::uint32_t> wrong{0};
  std::vector<std::thread> lookups;
  for (int i = 0; i < 2; ++i)
    lookups.emplace_back([&] {
      while (churning) wrong += wrongAnswers();
    });
  for (int i = 0; i < times; ++i) churn();
  churning = false;
  for (std::thread& lookup : lookups) lookup.join();
  return wrong;
}
