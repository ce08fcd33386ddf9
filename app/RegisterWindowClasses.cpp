#include "app/RegisterWindowClasses.h"

#include "app/TAboutForm.h"
#include "app/TSplashForm.h"
#include "app/WindowClasses.h"

void RegisterWindowClasses()
{
    using Kind = WindowClasses::Kind;
    WindowClasses::registerClass(QStringLiteral("TSplashForm"), Kind::TopLevel,
                                 [] { return new TSplashForm; });
    WindowClasses::registerClass(QStringLiteral("TAboutForm"), Kind::TopLevel,
                                 [] { return new TAboutForm; });
}
