// Resource identifiers of the Windows launcher, shared by quillet-offline.rc and the code.
#pragma once

#define kIdIcon 128
#define kIdDialog 102
#define kIdProgressBar 1000
