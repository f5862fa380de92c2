/* Resource identifiers, shared by the resource script and the code. */
#ifndef SHEENWRIGHT_RESOURCE_IDS_H
#define SHEENWRIGHT_RESOURCE_IDS_H

#define IDI_SHEENWRIGHT 1

#endif
