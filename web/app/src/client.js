// The page's side of the worker protocol: every call is a request
// { id, cmd, args } answered by { id, result } or { id, error }; messages
// with an `event` are reports of a run in progress.
export class WorkerClient {
  constructor(url, { onEvent, onFailure }) {
    this.pending = new Map();
    this.nextId = 1;
    this.onFailure = onFailure;
    this.worker = new Worker(url);
    this.worker.onmessage = (event) => {
      const data = event.data || {};
      if (data.event) {
        onEvent(data);
        return;
      }
      const waiting = this.pending.get(data.id);
      if (!waiting) return;
      this.pending.delete(data.id);
      if ('error' in data) waiting.reject(new Error(data.error));
      else waiting.resolve(data.result);
    };
    // A worker that cannot start (no WebAssembly, a missing file) fails every
    // call instead of leaving the page waiting forever.
    this.worker.onerror = (event) => {
      event.preventDefault();
      this.fail(event.message || 'worker error');
    };
  }

  fail(reason) {
    for (const waiting of this.pending.values()) waiting.reject(new Error(reason));
    this.pending.clear();
    this.onFailure(reason);
  }

  call(cmd, args) {
    return new Promise((resolve, reject) => {
      const id = this.nextId++;
      this.pending.set(id, { resolve, reject });
      this.worker.postMessage({ id, cmd, args });
    });
  }

  /** A request whose answer nobody waits for (acks, stop). */
  send(cmd, args) {
    this.call(cmd, args).catch(() => {});
  }
}
