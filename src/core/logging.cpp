#include "core/logging.h"

Q_LOGGING_CATEGORY(lcCore, "zeph.core", QtWarningMsg)
Q_LOGGING_CATEGORY(lcApp, "zeph.app", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUi, "zeph.ui", QtWarningMsg)
Q_LOGGING_CATEGORY(lcHistory, "zeph.history", QtWarningMsg)
Q_LOGGING_CATEGORY(lcMessaging, "zeph.messaging", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDiscovery, "zeph.discovery", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPlatform, "zeph.platform", QtWarningMsg)
Q_LOGGING_CATEGORY(lcLan, "zeph.lan", QtWarningMsg)
