// Appended to the core's generated script, inside its scope (FS is reachable here).
//
// The outputs of a conversion are never kept in the worker: every write to a temporary of
// the core under /out is handed on at once through Module.plexorSink, and so are the rename
// that publishes it and the removal that drops it. The page either writes the bytes into a
// file the user picked or collects them for a download; a 1 GB result costs the worker
// nothing. The core writes its temporaries front to back, so only the size is kept here.
Module["plexorInstallSink"] = function (sink) {
  var nextId = 1;
  var tail = ".plexor-tmp";
  var isSinkPath = function (path) {
    return path.indexOf("/out/") === 0 && path.slice(-tail.length) === tail;
  };
  var open = FS.open;
  FS.open = function (path, flags, mode, fd_start, fd_end) {
    var stream = open.apply(FS, arguments);
    if (stream && stream.node && !stream.node.plexorSink && typeof path === "string" &&
        isSinkPath(stream.path || path) && FS.isFile(stream.node.mode)) {
      stream.node.plexorSink = { id: nextId++ };
      sink({ type: "open", id: stream.node.plexorSink.id, path: stream.path || path });
    }
    return stream;
  };
  var write = FS.write;
  FS.write = function (stream, buffer, offset, length, position, canOwn) {
    var node = stream.node;
    if (!node || !node.plexorSink) return write.apply(FS, arguments);
    var seeking = typeof position !== "undefined";
    if (!seeking) position = stream.position;
    if (position !== node.usedBytes) throw new FS.ErrnoError(29);  // ESPIPE: front to back only
    if (length > 0) {
      var start = buffer.byteOffset + offset;
      var bytes = new Uint8Array(buffer.buffer.slice(start, start + length));
      sink({ type: "data", id: node.plexorSink.id, bytes: bytes });
    }
    node.usedBytes += length;
    node.timestamp = Date.now();
    if (!seeking) stream.position += length;
    return length;
  };
  var rename = FS.rename;
  FS.rename = function (oldPath, newPath) {
    var node = null;
    try {
      node = FS.lookupPath(oldPath).node;
    } catch (e) {}
    rename.apply(FS, arguments);
    if (node && node.plexorSink && !node.plexorSink.published) {
      node.plexorSink.published = true;
      sink({ type: "rename", id: node.plexorSink.id, path: newPath });
    }
  };
  var unlink = FS.unlink;
  FS.unlink = function (path) {
    var node = null;
    try {
      node = FS.lookupPath(path).node;
    } catch (e) {}
    unlink.apply(FS, arguments);
    // A published file was handed on whole; removing its empty node later drops nothing.
    if (node && node.plexorSink && !node.plexorSink.published) {
      sink({ type: "discard", id: node.plexorSink.id });
    }
  };
};
Module["plexorWorkerFS"] = function () {
  return WORKERFS;
};
