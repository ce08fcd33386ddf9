#include "app/RegisterWindowClasses.h"

#include "app/TAboutForm.h"
#include "app/TSplashForm.h"
#include "app/WindowClasses.h"
#include "params/TKX100DnLdForm.h"
#include "params/TKX200DnLdForm.h"
#include "serial/TRS232Form.h"
#include "views/TAddressForm.h"
#include "views/TLEDForm.h"
#include "views/TMonitorForm.h"

void RegisterWindowClasses()
{
    using Kind = WindowClasses::Kind;
    WindowClasses::registerClass(QStringLiteral("TSplashForm"), Kind::TopLevel,
                                 [] { return new TSplashForm; });
    WindowClasses::registerClass(QStringLiteral("TAboutForm"), Kind::TopLevel,
                                 [] { return new TAboutForm; });
    WindowClasses::registerClass(QStringLiteral("TAddressForm"), Kind::TopLevel,
                                 [] { return new TAddressForm; });
    WindowClasses::registerClass(QStringLiteral("TRS232Form"), Kind::TopLevel,
                                 [] { return new TRS232Form; });
    WindowClasses::registerClass(QStringLiteral("TLEDForm"), Kind::MdiChild,
                                 [] { return new TLEDForm; });
    WindowClasses::registerClass(QStringLiteral("TMonitorForm"), Kind::MdiChild,
                                 [] { return new TMonitorForm; });
    WindowClasses::registerClass(QStringLiteral("TKX100DnLdForm"), Kind::MdiChild,
                                 [] { return new TKX100DnLdForm; });
    WindowClasses::registerClass(QStringLiteral("TKX200DnLdForm"), Kind::TopLevel,
                                 [] { return new TKX200DnLdForm; });
}
