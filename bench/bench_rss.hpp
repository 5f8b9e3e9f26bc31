#pragma once

// the peak resident size of this process since the last reset, in KiB (-1 when unknown)
long peak_rss_kib();

// starts the peak resident size afresh from the current size
void reset_peak_rss();
