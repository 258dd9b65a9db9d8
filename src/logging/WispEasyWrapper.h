#pragma once

// The one way the plug-in writes to the host log:  QLOG_ERROR("Connect") << "text " << value;
#include "GenericLogger.h"
#include "LogTypeTraits.h"
#include "WispStreamer.h"

namespace WispEasyWrapper {
using InformationStreamer = WispStreamer<GenericLogger<LogTypeTraits::Information>>;
using WarningStreamer = WispStreamer<GenericLogger<LogTypeTraits::Warning>>;
using ErrorStreamer = WispStreamer<GenericLogger<LogTypeTraits::Error>>;
}  // namespace WispEasyWrapper

#define QLOG_INFO(function) WispEasyWrapper::InformationStreamer(__LINE__, __FILE__, function)
#define QLOG_WARN(function) WispEasyWrapper::WarningStreamer(__LINE__, __FILE__, function)
#define QLOG_ERROR(function) WispEasyWrapper::ErrorStreamer(__LINE__, __FILE__, function)
