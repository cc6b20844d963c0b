'use strict'

// The real controller for the tests: the program as a headless service with its made-up
// installation and the control API on, in a home of its own. It broadcasts on every
// interface, so it is only ever started where loopback is the only one (scripts/netless).

const { spawn, execFileSync } = require('node:child_process')
const fs = require('node:fs')
const net = require('node:net')
const os = require('node:os')
const path = require('node:path')

const PORT = 7741
const START_TIMEOUT_MS = 20000

function programPath() {
	return process.env.ZENTROVA_PROGRAM || path.resolve(__dirname, '../../../build/zentrova')
}

function onlyLoopback() {
	return Object.keys(os.networkInterfaces()).every((name) => name === 'lo')
}

function portOpen(port) {
	return new Promise((resolve) => {
		const socket = net.connect(port, '127.0.0.1')
		socket.once('connect', () => socket.end(() => resolve(true)))
		socket.once('error', () => resolve(false))
	})
}

async function waitUntil(what, condition, timeoutMs = START_TIMEOUT_MS) {
	const end = Date.now() + timeoutMs
	while (Date.now() < end) {
		if (await condition()) return
		await new Promise((resolve) => setTimeout(resolve, 50))
	}
	throw new Error(`timed out waiting for ${what}`)
}

class Controller {
	constructor() {
		if (!onlyLoopback())
			throw new Error('the controller broadcasts on every interface: run these tests under scripts/netless')
		this.program = programPath()
		this.port = PORT
		this.work = fs.mkdtempSync(path.join(os.tmpdir(), 'zentrova-companion-'))
		this.env = {
			...process.env,
			HOME: path.join(this.work, 'home'),
			XDG_RUNTIME_DIR: path.join(this.work, 'runtime'),
			QT_QPA_PLATFORM: 'offscreen',
		}
		fs.mkdirSync(this.env.HOME)
		fs.mkdirSync(this.env.XDG_RUNTIME_DIR, { mode: 0o700 })
		this.token = execFileSync(this.program, ['--new-api-token'], {
			env: this.env,
			encoding: 'utf8',
			stdio: ['ignore', 'pipe', 'ignore'],
		}).trim()
		// Made now, before the first start, as a user pins it before pointing a client at it.
		this.fingerprint = execFileSync(this.program, ['--api-fingerprint'], {
			env: this.env,
			encoding: 'utf8',
			stdio: ['ignore', 'pipe', 'ignore'],
		}).trim()
		this.process = null
	}

	async start() {
		const child = spawn(this.program, ['--headless', '--demo', '--api'], { env: this.env, stdio: 'ignore' })
		this.process = child
		this.exited = new Promise((resolve) => child.once('exit', resolve))
		// Not left running in its namespace when the test itself is ended.
		const orphan = () => child.kill('SIGKILL')
		process.once('exit', orphan)
		child.once('exit', () => process.off('exit', orphan))
		await waitUntil(`the control API on port ${this.port}`, () => portOpen(this.port))
	}

	async stop() {
		if (!this.process) return
		this.process.kill('SIGTERM')
		await this.exited
		this.process = null
	}

	async dispose() {
		await this.stop()
		fs.rmSync(this.work, { recursive: true, force: true })
	}
}

module.exports = { Controller, waitUntil }
