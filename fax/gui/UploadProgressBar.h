#pragma once

#include "fax/Upload.h"
#include "platform/Clock.h"

class QProgressBar;

namespace qp {

// The upload progress as the send dialog shows it: reports from the uploading thread reach `bar`
// on the GUI thread, thinned out by a ProgressThrottle on `clock`. An empty image leaves the bar
// empty; a bar deleted meanwhile is left alone.
UploadProgress ProgressBarReporter(QProgressBar* bar, Clock& clock);

} // namespace qp
