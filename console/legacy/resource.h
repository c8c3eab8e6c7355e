/* Resource identifiers of the legacy console's script: the consoles share
   their panel's ids, which console/panelIds.h holds. */
#ifndef TAGDESK_LEGACY_RESOURCE_H
#define TAGDESK_LEGACY_RESOURCE_H

#include "console/panelIds.h"

#endif
