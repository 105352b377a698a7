#pragma once

namespace kv306::bench {

// The line's database: ten stations sending at once, and report --store over a million rows.
void StoreRows();

}  // namespace kv306::bench
