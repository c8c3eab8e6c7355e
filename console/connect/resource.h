/* Resource identifiers of the connecting console's script: the consoles share
   their panel's ids, which console/panelIds.h holds. */
#ifndef TAGDESK_CONNECT_RESOURCE_H
#define TAGDESK_CONNECT_RESOURCE_H

#include "console/panelIds.h"

#endif
