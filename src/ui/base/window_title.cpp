#include "ui/base/window_title.h"

namespace vandrel {

QString productWindowTitle(const QString& what)
{
    const QString product = QString::fromLatin1(kProductName);
    return what.isEmpty() ? product : product + QStringLiteral(" \u2014 ") + what;
}

}  // namespace vandrel
