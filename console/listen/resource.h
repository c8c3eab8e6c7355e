/* Resource identifiers of the listening console's script: the consoles share
   their panel's ids, which console/panelIds.h holds. */
#ifndef TAGDESK_LISTEN_RESOURCE_H
#define TAGDESK_LISTEN_RESOURCE_H

#include "console/panelIds.h"

#endif
