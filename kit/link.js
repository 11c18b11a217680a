// The page's one line to the shell: the entry point the bridge script puts on the window, and
// the global callbacks through which the shell answers. The kit owns those globals; one that
// the page defined before is still called after the kit's listeners.

export const CALLBACKS = [
  'deskHover', 'deskAct', 'deskIdle', 'deskScreenMoved', 'deskFileDone', 'deskUpdateState', 'deskUpdateReady',
  'deskLanReady', 'deskLanSinkReady', 'deskLanAck', 'deskLanSinkWait', 'deskLanProgress', 'deskLanPull',
  'deskLanAbort', 'deskLanNative', 'deskLanProbed',
];

export class DeskError extends Error {
  constructor(code, message) {
    super(message);
    this.name = 'DeskError';
    this.code = code;
  }
}

const NO_SHELL = 'not in the desk shell: window.webkit.messageHandlers.desk is missing (the shell gives it only ' +
  'to the top document at exactly its page address; in a browser, call desk.mock() first)';

function report(fn, args, what) {
  try {
    fn(...args);
  } catch (e) {
    console.error('desk kit: a listener of ' + what + ' failed:', e);
  }
}

// Listeners by event name; on() gives the function that removes the listener again.
export function emitter() {
  const lists = new Map();
  return {
    on(event, fn) {
      if (typeof fn !== 'function') return () => {};
      if (!lists.has(event)) lists.set(event, new Set());
      const entry = (...args) => fn(...args);
      lists.get(event).add(entry);
      return () => lists.get(event).delete(entry);
    },
    emit(event, ...args) {
      for (const fn of [...(lists.get(event) || [])]) report(fn, args, event);
    },
  };
}

export function createLink(win) {
  const events = emitter();
  const taps = new Set();
  const state = { lastError: '' };

  const entry = () => {
    try {
      const handler = win.webkit && win.webkit.messageHandlers && win.webkit.messageHandlers.desk;
      return handler && typeof handler.postMessage === 'function' ? handler : null;
    } catch (e) {
      return null;
    }
  };

  for (const name of CALLBACKS) {
    let previous;
    try {
      previous = win[name];
      win[name] = (...args) => {
        for (const fn of [...taps]) report(fn, [name, args], 'tap');
        events.emit(name, ...args);
        if (typeof previous === 'function') report(previous, args, name);
      };
    } catch (e) {
      // A window that refuses the global leaves that callback unheard, not the import broken.
    }
  }

  return {
    state,
    get available() {
      return !!entry();
    },
    fail(reason) {
      state.lastError = reason;
      return false;
    },
    reject(code, reason) {
      state.lastError = reason;
      return Promise.reject(new DeskError(code, reason));
    },
    // Posts the message; false (with the reason in lastError) when there is no shell to take it.
    send(message) {
      const handler = entry();
      if (!handler) return this.fail(NO_SHELL);
      try {
        handler.postMessage(message);
      } catch (e) {
        return this.fail('the bridge refused the message "' + message.t + '": ' + e);
      }
      return true;
    },
    // Sends once `register(resolve, reject)` listens for the answer (it gives back what stops
    // listening); rejects with the reason when there is no shell to send to.
    request(message, register) {
      let stop = null;
      const answer = new Promise((resolve, reject) => {
        stop = register(resolve, reject);
      });
      if (this.send(message)) return answer;
      if (typeof stop === 'function') stop();
      return Promise.reject(new DeskError('no-shell', state.lastError));
    },
    on: events.on,
    tap(fn) {
      taps.add(fn);
      return () => taps.delete(fn);
    },
  };
}
