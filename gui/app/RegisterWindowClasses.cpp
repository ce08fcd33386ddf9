#include "app/RegisterWindowClasses.h"

#include "app/TAboutForm.h"
#include "app/TSplashForm.h"
#include "app/WindowClasses.h"
#include "editors/TKX100DnLdForm.h"
#include "editors/TKX200DnLdForm.h"
#include "editors/TKX300DnLdForm.h"
#include "editors/TKX300ADnLdForm.h"
#include "editors/TKX300BDnLdForm.h"
#include "editors/TKX300CDnLdForm.h"
#include "editors/TKX300DDnLdForm.h"
#include "editors/TKX300EDnLdForm.h"
#include "editors/TKX300FDnLdForm.h"
#include "editors/TKX300HDnLdForm.h"
#include "editors/TKX300LDnLdForm.h"
#include "editors/TKX300ODnLdForm.h"
#include "editors/TKX300UDnLdForm.h"
#include "views/TRS232Form.h"
#include "views/TAddressForm.h"
#include "views/TLEDForm.h"
#include "views/TMonitorForm.h"
#include "views/TTrendForm.h"

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
    WindowClasses::registerClass(QStringLiteral("TTrendForm"), Kind::MdiChild,
                                 [] { return new TTrendForm; });
    WindowClasses::registerClass(QStringLiteral("TKX100DnLdForm"), Kind::MdiChild,
                                 [] { return new TKX100DnLdForm; });
    WindowClasses::registerClass(QStringLiteral("TKX200DnLdForm"), Kind::TopLevel,
                                 [] { return new TKX200DnLdForm; });
    WindowClasses::registerClass(QStringLiteral("TKX300DnLdForm"), Kind::MdiChild,
                                 [] { return new TKX300DnLdForm; });
    WindowClasses::registerClass(QStringLiteral("TKX300UDnLdForm"), Kind::MdiChild,
                                 [] { return new TKX300UDnLdForm; });
    WindowClasses::registerClass(QStringLiteral("TKX300ADnLdForm"), Kind::TopLevel,
                                 [] { return new TKX300ADnLdForm; });
    WindowClasses::registerClass(QStringLiteral("TKX300BDnLdForm"), Kind::MdiChild,
                                 [] { return new TKX300BDnLdForm; });
    WindowClasses::registerClass(QStringLiteral("TKX300CDnLdForm"), Kind::TopLevel,
                                 [] { return new TKX300CDnLdForm; });
    WindowClasses::registerClass(QStringLiteral("TKX300DDnLdForm"), Kind::TopLevel,
                                 [] { return new TKX300DDnLdForm; });
    WindowClasses::registerClass(QStringLiteral("TKX300EDnLdForm"), Kind::TopLevel,
                                 [] { return new TKX300EDnLdForm; });
    WindowClasses::registerClass(QStringLiteral("TKX300FDnLdForm"), Kind::TopLevel,
                                 [] { return new TKX300FDnLdForm; });
    WindowClasses::registerClass(QStringLiteral("TKX300HDnLdForm"), Kind::TopLevel,
                                 [] { return new TKX300HDnLdForm; });
    WindowClasses::registerClass(QStringLiteral("TKX300LDnLdForm"), Kind::TopLevel,
                                 [] { return new TKX300LDnLdForm; });
    WindowClasses::registerClass(QStringLiteral("TKX300ODnLdForm"), Kind::TopLevel,
                                 [] { return new TKX300ODnLdForm; });
}
