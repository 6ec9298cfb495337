Module.lvov = Module.lvov || {};
