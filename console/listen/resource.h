/* Resource identifiers of the listening console. The panel's ids are shared
   with the other consoles; this header is read by the resource script and
   by the program. */
#ifndef TAGDESK_LISTEN_RESOURCE_H
#define TAGDESK_LISTEN_RESOURCE_H

#include "console/panelIds.h"

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
