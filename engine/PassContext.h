// What both passes work with: the job's view, its report and its control, the message
// buffers kept for the job object's life, and the steps that take a message's
// attachments out and write them. The job makes one for its course.
#pragma once

#include "engine/AttachmentWriter.h"
#include "engine/EngineView.h"
#include "engine/JobControl.h"
#include "engine/JobReport.h"
#include "engine/MessageBuffers.h"
#include "engine/MessageExtractor.h"
#include "engine/Recoveries.h"

struct PassContext {
    EngineView& view;
    JobReport& report;
    JobControl& control;
    MessageBuffers& buffers;
    MessageExtractor& extractor;
    AttachmentWriter& writer;
    Recoveries& recoveries;
};
