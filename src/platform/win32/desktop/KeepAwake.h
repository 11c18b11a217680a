#pragma once
// Keeps the system from sleeping while this thread moves LAN bytes. Windows keeps the request
// per thread, so each true must be matched by a false on the same thread; nested pairs count.
void keepSystemAwake(bool on);
