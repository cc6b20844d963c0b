'use strict'

// The controller's control API over its WebSocket (JSON-RPC 2.0), without anything of
// Companion: connect over TLS to the controller whose certificate has the pinned fingerprint,
// prove knowledge of the token over the greeting's challenge, subscribe to events, send
// requests, and keep trying with a growing pause while the controller cannot be had.

const crypto = require('node:crypto')
const { EventEmitter } = require('node:events')
const WebSocket = require('ws')

const PATH = '/ws'
// Error codes of the controller (JSON-RPC application errors).
const NOT_AUTHENTICATED = 5
const RATE_LIMITED = 6
const REFUSED = 4

const Status = Object.freeze({
	Connecting: 'connecting',
	Ok: 'ok',
	// The controller refused the token: only a new token in the configuration helps.
	AuthFailed: 'auth_failed',
	// Nothing answered at the address (refused, no route, timed out).
	Unreachable: 'unreachable',
	// What answered is not the controller whose certificate was pinned.
	CertificateRefused: 'certificate_refused',
	// Connected once, then lost; trying again.
	Lost: 'lost',
	Stopped: 'stopped',
})

const DEFAULTS = {
	firstRetryMs: 1000,
	longestRetryMs: 30000,
	requestTimeoutMs: 5000,
	connectTimeoutMs: 5000,
	// A controller that vanished without closing (cable, power) is noticed by the pings it
	// stops answering: at most two of these periods after.
	heartbeatMs: 10000,
}

// The sign-in proof over one challenge, and the answer that shows the controller holds the
// token's keys: the token itself never crosses the wire, and the controller keeps only a hash
// of the key the proof is made with.
function signInProof(token, salt, challenge, nonce) {
	const hmac = (key, text) => crypto.createHmac('sha256', key).update(text, 'utf8').digest()
	const salted = crypto.createHash('sha256').update(token + salt, 'utf8').digest('base64')
	const clientKey = hmac(salted, 'Client Key')
	const storedKey = crypto.createHash('sha256').update(clientKey).digest()
	const message = `${salt},${challenge},${nonce}`
	const signature = hmac(storedKey, message)
	const proof = Buffer.from(clientKey.map((byte, i) => byte ^ signature[i]))
	return {
		proof: proof.toString('base64'),
		serverSignature: hmac(hmac(salted, 'Server Key'), message).toString('base64'),
	}
}

// A SHA-256 fingerprint as hex digits alone, whichever way it was written (colons, blanks,
// either case); empty for anything that is not one.
function fingerprintDigits(text) {
	const digits = String(text || '').replace(/[^0-9a-fA-F]/g, '').toUpperCase()
	return digits.length === 64 ? digits : ''
}

class ApiError extends Error {
	constructor(code, message, name) {
		super(message)
		this.code = code
		this.errorName = name
	}
}

// Events: 'status' (status, message), 'ready' (state: the controller's "state" after each
// (re)connection), 'event' (name, data).
class ApiClient extends EventEmitter {
	// `tls` (default true) with the certificate's `fingerprint`; without TLS, on a closed
	// network, the controller's web port must have its TLS switched off.
	constructor({ host, port, token, tls = true, fingerprint = '', ...options }) {
		super()
		this.host = host
		this.port = port
		this.token = token
		this.tls = tls
		this.fingerprint = fingerprintDigits(fingerprint)
		this.options = { ...DEFAULTS, ...options }
		this.status = Status.Stopped
		this.statusMessage = ''
		this.socket = null
		this.pending = new Map()
		this.nextId = 1
		this.retryTimer = null
		this.heartbeat = null
		this.retryMs = this.options.firstRetryMs
		this.running = false
	}

	start() {
		if (this.running) return
		this.running = true
		this.retryMs = this.options.firstRetryMs
		this.connect()
	}

	stop() {
		this.running = false
		clearTimeout(this.retryTimer)
		clearInterval(this.heartbeat)
		this.retryTimer = null
		const socket = this.socket
		this.socket = null
		if (socket) {
			socket.removeAllListeners()
			socket.on('error', () => {})
			socket.terminate()
		}
		this.failPending(new ApiError(0, 'the connection was closed'))
		this.setStatus(Status.Stopped, '')
	}

	get connected() {
		return this.status === Status.Ok
	}

	// Resolves with the method's result; rejects with an ApiError (code and name as the
	// controller gives them) or when no answer comes in time.
	request(method, params = {}) {
		if (!this.connected) return Promise.reject(new ApiError(0, `not connected to the controller (${this.statusMessage})`))
		return this.send(method, params)
	}

	send(method, params) {
		const id = this.nextId++
		return new Promise((resolve, reject) => {
			const timer = setTimeout(() => {
				this.pending.delete(id)
				reject(new ApiError(0, `no answer to "${method}" within ${this.options.requestTimeoutMs} ms`))
			}, this.options.requestTimeoutMs)
			this.pending.set(id, { resolve, reject, timer })
			this.socket.send(JSON.stringify({ jsonrpc: '2.0', id, method, params }))
		})
	}

	connect() {
		const scheme = this.tls ? 'wss' : 'ws'
		const url = `${scheme}://${this.host.includes(':') ? `[${this.host}]` : this.host}:${this.port}${PATH}`
		this.setStatus(Status.Connecting, `connecting to ${this.host}:${this.port}`)
		// The controller's own certificate is signed by nobody: its pinned fingerprint is what
		// is trusted, checked below before a word is read from the connection.
		const socket = new WebSocket(url, { handshakeTimeout: this.options.connectTimeoutMs, rejectUnauthorized: false })
		this.socket = socket
		// What to report when this socket closes, decided by what happened on it.
		let failure = null
		let greeted = false
		let answered = true
		clearInterval(this.heartbeat)
		this.heartbeat = setInterval(() => {
			if (socket.readyState !== WebSocket.OPEN) return
			if (!answered) {
				failure = failure || { status: Status.Lost, text: `${this.host}:${this.port} stopped answering` }
				socket.terminate()
				return
			}
			answered = false
			socket.ping()
		}, this.options.heartbeatMs)
		socket.on('pong', () => {
			answered = true
		})
		socket.on('upgrade', (response) => {
			if (!this.tls) return
			const shown = response.socket.getPeerCertificate().fingerprint256 || ''
			if (this.fingerprint && fingerprintDigits(shown) === this.fingerprint) return
			failure = {
				status: Status.CertificateRefused,
				text: `${this.host}:${this.port} shows the certificate ${shown || '(none)'}, not the pinned one`,
			}
			socket.terminate()
		})

		socket.on('message', (raw) => {
			if (failure) return
			let message
			try {
				message = JSON.parse(raw.toString())
			} catch {
				return
			}
			if (message.method === 'hello' && !greeted) {
				greeted = true
				this.authenticate(message.params || {}).then(
					(state) => {
						this.retryMs = this.options.firstRetryMs
						this.setStatus(Status.Ok, '')
						this.emit('ready', state)
					},
					(error) => {
						failure = error.code === NOT_AUTHENTICATED || error.code === RATE_LIMITED
							? { status: Status.AuthFailed, text: `token refused: ${error.message}` }
							: { status: Status.Lost, text: error.message }
						socket.terminate()
					}
				)
			} else if (message.method === 'event' && message.params) {
				this.emit('event', message.params.name, message.params.data || {})
			} else if (message.id !== undefined && message.id !== null) {
				this.answer(message)
			} else if (message.error && message.error.code === REFUSED) {
				// Said to every client before the controller cuts it off (it stops, or a new token
				// was made): the next attempt tells whether this token still signs in.
				failure = { status: Status.Lost, text: `the controller closed the connection: ${message.error.message}` }
			}
		})
		socket.on('error', (error) => {
			if (!failure && this.status !== Status.Ok)
				failure = { status: Status.Unreachable, text: `cannot reach ${this.host}:${this.port} (${error.code || error.message})` }
		})
		socket.on('close', (code, reason) => {
			if (this.socket !== socket) return
			clearInterval(this.heartbeat)
			this.socket = null
			this.failPending(new ApiError(0, 'the connection was lost'))
			// A controller that stops may have time only for its close frame's reason.
			const said = reason ? reason.toString() : ''
			if (!failure && said) failure = { status: Status.Lost, text: `the controller closed the connection: ${said}` }
			if (!failure) failure = { status: Status.Lost, text: `connection to ${this.host}:${this.port} lost` }
			this.scheduleRetry(failure)
		})
	}

	// Sends "auth", then turns events on and reads the whole state; resolves with it.
	async authenticate({ salt, challenge }) {
		if (typeof salt !== 'string' || typeof challenge !== 'string')
			throw new ApiError(0, 'the controller did not greet with a challenge')
		const nonce = crypto.randomBytes(18).toString('base64')
		const { proof, serverSignature } = signInProof(this.token, salt, challenge, nonce)
		const signedIn = await this.send('auth', { nonce, proof })
		// Anyone can say "authenticated": only a controller with the token's keys can sign it.
		if (!signedIn || signedIn.server !== serverSignature)
			throw new ApiError(NOT_AUTHENTICATED, 'the controller could not prove it holds this token')
		await this.send('subscribe', {})
		return this.send('state', {})
	}

	answer(message) {
		const entry = this.pending.get(message.id)
		if (!entry) return
		this.pending.delete(message.id)
		clearTimeout(entry.timer)
		if (message.error) {
			const { code, message: text, data } = message.error
			entry.reject(new ApiError(code, text, data && data.name))
		} else {
			entry.resolve(message.result)
		}
	}

	failPending(error) {
		for (const entry of this.pending.values()) {
			clearTimeout(entry.timer)
			entry.reject(error)
		}
		this.pending.clear()
	}

	scheduleRetry(failure) {
		if (!this.running) return
		const wait = this.retryMs
		this.retryMs = Math.min(this.retryMs * 2, this.options.longestRetryMs)
		this.setStatus(failure.status, `${failure.text}; trying again in ${Math.ceil(wait / 1000)} s`)
		this.retryTimer = setTimeout(() => {
			this.retryTimer = null
			if (this.running) this.connect()
		}, wait)
	}

	setStatus(status, message) {
		if (status === this.status && message === this.statusMessage) return
		this.status = status
		this.statusMessage = message
		this.emit('status', status, message)
	}
}

module.exports = { ApiClient, ApiError, Status, fingerprintDigits, signInProof }
