#pragma once

#include <QSize>

#include <cstdio>
#include <cstdlib>

// A size given as "WxH" in an environment variable, or `fallback` when it is not set.
inline QSize SizeFromEnvironment(const char* variable, QSize fallback) {
    int width = fallback.width(), height = fallback.height();
    if (const char* size = std::getenv(variable)) std::sscanf(size, "%dx%d", &width, &height);
    return QSize(width, height);
}
