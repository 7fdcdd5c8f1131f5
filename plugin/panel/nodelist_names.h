// The nodelist as the panel and the commands use it: one index for the process, brought up to
// date with the settings before each use, and the texts a link row shows from it.
#ifndef BSOPANEL_PANEL_NODELIST_NAMES_H
#define BSOPANEL_PANEL_NODELIST_NAMES_H

#include "bso/address.h"
#include "scan/nodelist.h"

#include <stddef.h>

// The index for NodelistPath and PointlistPath, read again only when a file changed. With
// MayTell, a configured file that cannot be read is named in a warning box, once: again only
// after it was read meanwhile or its setting changed.
const Nodelist *CurrentNodelist(bool MayTell);

// Releases the index (the plugin's exit).
void ForgetNodelist();

// "System name, Sysop, Location", the empty parts left out; "" for no node. A buffer of
// NodeDescriptionSize holds every node's whole.
const size_t NodeDescriptionSize = 3 * NodelistFieldLimit + 4;
char *NodeDescription(const NodelistNode *Node, char *Buffer, size_t Size);

// The view's mark: "Down", "Hold", "unlisted", or "" for a listed node or one not judged.
const char *NodeMarkText(NodeStanding Standing);

#endif
