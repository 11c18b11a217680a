#pragma once
// The App's LAN runtime, made on first use with the App's seams (main thread).
class App;
class LanRuntime;

LanRuntime& lanRuntimeOf(App& app);
