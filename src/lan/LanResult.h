#pragma once
// How a received transfer (a fetch, or a push into a sink) ended. The numbers are what the
// terminal reports.
enum class LanResult {
  Complete = 1,    // the whole file arrived and the disk has it
  Incomplete = 0,  // cut short; the part file keeps whole records for a resume
  Gone = 404,      // the offer is gone, or the page cancelled: nothing to resume
  Broken = -1,     // a record did not open: the stream cannot be trusted
};
