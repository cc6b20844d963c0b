// The controller's WebSocket API as the page uses it: sign in by proving knowledge of the
// token over the greeting's challenge (the token itself never crosses the wire, and the
// controller proves in turn that it holds the token's keys), follow the events, call methods,
// and come back by itself after the controller was out of reach.
import { hmacSha256, sha256, sha256Base64, toBase64, utf8 } from './sha256.js';

const RETRY_FIRST_MS = 1000;
const RETRY_LONGEST_MS = 8000;
const CALL_TIMEOUT_MS = 10000;
export const NOT_AUTHENTICATED = 5;
export const RATE_LIMITED = 6;

export class ControllerApi extends EventTarget {
  constructor(url) {
    super();
    this.url = url;
    this.token = null;
    this.socket = null;
    this.nextId = 1;
    this.pending = new Map();
    this.retryMs = RETRY_FIRST_MS;
    this.retryTimer = 0;
    // 'idle' | 'connecting' | 'ready' | 'unreachable' | 'refused'
    this.status = 'idle';
  }

  signIn(token) {
    this.token = token;
    this.retryMs = RETRY_FIRST_MS;
    this.open();
  }

  signOut() {
    this.token = null;
    clearTimeout(this.retryTimer);
    this.setStatus('idle');
    if (this.socket) this.socket.close();
  }

  call(method, params = {}) {
    if (this.status !== 'ready') return Promise.reject(new ApiError(-1, 'not connected'));
    return this.send(method, params);
  }

  send(method, params) {
    const id = this.nextId++;
    const socket = this.socket;
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => {
        this.pending.delete(id);
        reject(new ApiError(-1, 'no answer'));
      }, CALL_TIMEOUT_MS);
      this.pending.set(id, { resolve, reject, timer });
      socket.send(JSON.stringify({ jsonrpc: '2.0', id, method, params }));
    });
  }

  open() {
    clearTimeout(this.retryTimer);
    if (this.socket) {
      this.socket.onclose = null;
      this.socket.close();
    }
    this.setStatus(this.status === 'unreachable' ? 'unreachable' : 'connecting');
    const socket = new WebSocket(this.url);
    this.socket = socket;
    socket.onmessage = (message) => this.onMessage(message.data);
    socket.onclose = () => this.onClose(socket);
  }

  async onMessage(text) {
    let message;
    try {
      message = JSON.parse(text);
    } catch {
      return;
    }
    if (message.method === 'hello') {
      this.answerChallenge(message.params);
    } else if (message.method === 'event') {
      this.dispatchEvent(new CustomEvent('event', { detail: message.params }));
    } else if ('id' in message && this.pending.has(message.id)) {
      const { resolve, reject, timer } = this.pending.get(message.id);
      clearTimeout(timer);
      this.pending.delete(message.id);
      if (message.error) reject(new ApiError(message.error.code, message.error.message));
      else resolve(message.result);
    }
  }

  async answerChallenge({ salt, challenge }) {
    if (!this.token) return;
    const nonce = toBase64(crypto.getRandomValues(new Uint8Array(18)));
    const { proof, serverSignature } = signInProof(this.token, salt, challenge, nonce);
    try {
      // Sent together: the controller answers in order and refuses what follows a failed
      // sign-in, and a slow phone is spared two round trips before it shows anything.
      const [signedIn, , state] = await Promise.all(
        [this.send('auth', { nonce, proof }), this.send('subscribe', {}), this.send('state', {})]);
      if (signedIn.server !== serverSignature) throw new ApiError(NOT_AUTHENTICATED, 'the controller does not hold this token');
      this.ticket = signedIn.ticket;
      this.user = signedIn.user;
      this.retryMs = RETRY_FIRST_MS;
      this.setStatus('ready');
      this.dispatchEvent(new CustomEvent('state', { detail: state }));
    } catch (error) {
      if (error.code === NOT_AUTHENTICATED || error.code === RATE_LIMITED) {
        this.refusal = error.code;
        this.token = null;
        this.setStatus('refused');
      }
    }
  }

  onClose(socket) {
    if (socket !== this.socket) return;
    for (const { reject, timer } of this.pending.values()) {
      clearTimeout(timer);
      reject(new ApiError(-1, 'connection lost'));
    }
    this.pending.clear();
    this.socket = null;
    if (!this.token) return;
    this.setStatus('unreachable');
    this.retryTimer = setTimeout(() => this.open(), this.retryMs);
    this.retryMs = Math.min(this.retryMs * 2, RETRY_LONGEST_MS);
  }

  setStatus(status) {
    if (status === this.status) return;
    this.status = status;
    this.dispatchEvent(new CustomEvent('status', { detail: status }));
  }
}

// The client's side of the sign-in: the proof for auth and the server's answer to expect.
export function signInProof(token, salt, challenge, nonce) {
  const salted = utf8(sha256Base64(token + salt));
  const clientKey = hmacSha256(salted, utf8('Client Key'));
  const message = utf8(`${salt},${challenge},${nonce}`);
  const signature = hmacSha256(sha256(clientKey), message);
  const proof = clientKey.map((byte, i) => byte ^ signature[i]);
  const serverSignature = toBase64(hmacSha256(hmacSha256(salted, utf8('Server Key')), message));
  return { proof: toBase64(proof), serverSignature };
}

export class ApiError extends Error {
  constructor(code, message) {
    super(message);
    this.code = code;
  }
}
