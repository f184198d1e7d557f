// Appended to the core's generated script, inside its scope. The pread and pwrite of this
// Emscripten take only the low 32 bits of the offset, so a read at 2 GiB or beyond would go
// wrong without a word. They are replaced, before the core is instantiated, by versions that
// take the whole offset (a double holds every offset below 2^53 exactly).
(function () {
  var whole = function (low, high) {
    return high * 4294967296 + (low >>> 0);
  };
  var pread = function (fd, iov, iovcnt, offsetLow, offsetHigh, pnum) {
    try {
      var stream = SYSCALLS.getStreamFromFD(fd);
      HEAP32[pnum >>> 2] = SYSCALLS.doReadv(stream, iov, iovcnt, whole(offsetLow, offsetHigh));
      return 0;
    } catch (e) {
      if (typeof FS == "undefined" || !(e instanceof FS.ErrnoError)) throw e;
      return e.errno;
    }
  };
  var pwrite = function (fd, iov, iovcnt, offsetLow, offsetHigh, pnum) {
    try {
      var stream = SYSCALLS.getStreamFromFD(fd);
      HEAP32[pnum >>> 2] = SYSCALLS.doWritev(stream, iov, iovcnt, whole(offsetLow, offsetHigh));
      return 0;
    } catch (e) {
      if (typeof FS == "undefined" || !(e instanceof FS.ErrnoError)) throw e;
      return e.errno;
    }
  };
  for (var key in asmLibraryArg) {
    if (asmLibraryArg[key] === _fd_pread) asmLibraryArg[key] = pread;
    if (asmLibraryArg[key] === _fd_pwrite) asmLibraryArg[key] = pwrite;
  }
})();
