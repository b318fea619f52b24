#pragma once
// The walk of a file run over the listed rows, from top to bottom: asks where
// the user wants it, hands the files out (to the pool or one at a time) and ends
// each row in list order.
struct FileRunContext;

// Until the list ends, a Stop or a Cancel at a question. Every file handed over
// has ended when it returns, and the window has every change.
void WalkListedRows(FileRunContext& run);
