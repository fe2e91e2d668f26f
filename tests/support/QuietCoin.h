#pragma once
// Coin's database for tests whose aircraft have no model, or a broken one:
// Coin's complaints about those are expected there, and only noise.

namespace fstest {

// Initialises Coin's database and drops its debug and read error messages.
void initQuietCoin();

}  // namespace fstest
