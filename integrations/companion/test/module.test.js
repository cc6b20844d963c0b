'use strict'

// The module's API client, installation copy, actions and feedbacks against the real
// controller (headless, made-up installation), over its WebSocket with TLS on loopback,
// pinning the certificate the controller made for itself.

const assert = require('node:assert/strict')
const net = require('node:net')
const { after, before, describe, it } = require('node:test')
const { ApiClient, Status } = require('../src/api_client')
const { Installation } = require('../src/installation')
const definitions = require('../src/definitions')
const { Controller, waitUntil } = require('./controller')

const FAST = { firstRetryMs: 100, longestRetryMs: 400, connectTimeoutMs: 2000, heartbeatMs: 500 }

function statusReached(client, wanted) {
	if (client.status === wanted) return Promise.resolve(client.statusMessage)
	return new Promise((resolve) => {
		const listener = (status, message) => {
			if (status !== wanted) return
			client.off('status', listener)
			resolve(message)
		}
		client.on('status', listener)
	})
}

// The first thing a client says after trying to connect.
function outcome(client) {
	return new Promise((resolve) => {
		const listener = (status, message) => {
			if (status === Status.Connecting) return
			client.off('status', listener)
			resolve({ status, message })
		}
		client.on('status', listener)
	})
}

// A client that follows the installation like the module does, signed in and up to date.
async function follower(controller, fingerprint = controller.fingerprint) {
	const client = new ApiClient({ host: '127.0.0.1', port: controller.port, token: controller.token, fingerprint, ...FAST })
	const installation = new Installation()
	const problems = []
	installation.follow(client, (message) => problems.push(message))
	const loaded = new Promise((resolve) => installation.once('lists', resolve))
	client.start()
	await loaded
	return { client, installation, problems }
}

const sourceIn = (state, name) => [...state.decoders, ...state.walls].find((entry) => entry.name === name).source

const byAlias = (list, alias) => {
	const entry = list.find((candidate) => candidate.alias === alias)
	assert.ok(entry, `"${alias}" is listed`)
	return entry.name
}

describe('against the controller', { timeout: 90000 }, () => {
	let controller
	let module
	let other
	const clients = []

	before(async () => {
		controller = new Controller()
		await controller.start()
		module = await follower(controller)
		// The fingerprint as some tools print it: no colons, lower case.
		other = await follower(controller, controller.fingerprint.replace(/:/g, '').toLowerCase())
		clients.push(module.client, other.client)
	})

	after(async () => {
		for (const client of clients) client.stop()
		if (controller) await controller.dispose()
	})

	it('routes with its actions, and the state read back agrees', async () => {
		const { client, installation } = module
		const actions = definitions.actions(installation, (method, params) => client.request(method, params))
		const encoder = byAlias(installation.encoders, 'TX - 2')
		const wall = byAlias(installation.walls, '2 x 2 - 1')
		const decoder = byAlias(installation.decoders, 'RX - 4')
		const cases = [
			{ action: 'route', options: { source: encoder, target: decoder }, expect: { [decoder]: encoder } },
			{ action: 'route', options: { source: encoder, target: wall }, expect: { [wall]: encoder } },
			{ action: 'clear', options: { target: decoder }, expect: { [decoder]: null, [wall]: encoder } },
			{ action: 'route', options: { source: encoder, target: 'all' }, expect: { [decoder]: encoder, [wall]: encoder } },
			{ action: 'clear', options: { target: 'all' }, expect: { [decoder]: null, [wall]: null } },
		]
		for (const { action, options, expect } of cases) {
			await actions[action].callback({ options })
			const state = await client.request('state')
			for (const [target, source] of Object.entries(expect))
				assert.equal(sourceIn(state, target), source, `${action} ${JSON.stringify(options)}: source of ${target}`)
			// The module's own copy follows the same change through the events.
			await waitUntil('the events of the change', () =>
				Object.entries(expect).every(([target, source]) => installation.sourceOf(target) === source)
			)
		}
		await assert.rejects(actions.route.callback({ options: { source: encoder, target: 'nowhere' } }), { errorName: 'not_found' })
	})

	it('lights a feedback and fills a variable when another client routes', async () => {
		const { installation } = module
		const feedbacks = definitions.feedbacks(installation, () => module.client.connected)
		const encoder = byAlias(installation.encoders, 'TX - 3')
		const wall = byAlias(installation.walls, '2 x 2 - 1')
		const showsSource = () => feedbacks.shows_source.callback({ options: { target: wall, source: encoder } })

		assert.equal(showsSource(), false)
		assert.equal(feedbacks.connected.callback({ options: {} }), true)
		await other.client.request('route', { source: 'TX - 3', target: '2 x 2 - 1' })
		await waitUntil('the feedback to light', async () => showsSource())
		assert.equal(definitions.variableValues(installation)[definitions.variableId(wall)], 'TX - 3')
		assert.equal(feedbacks.online.callback({ options: { device: encoder } }), true)

		// A wall made elsewhere shows up in the dropdowns, its members leave them (they are
		// routed through the wall), and it gets a page of presets.
		const members = ['RX - 1', 'RX - 2'].map((alias) => byAlias(installation.decoders, alias))
		await other.client.request('wall.create', { name: 'Stage', columns: 2, rows: 1, members })
		await waitUntil('the new wall in the lists', async () => installation.walls.some((entry) => entry.alias === 'Stage'))
		const stage = byAlias(installation.walls, 'Stage')
		const targets = definitions.actions(installation, () => {}).route.options[1].choices.map((choice) => choice.id)
		assert.ok(targets.includes(stage) && !targets.includes(members[0]) && !targets.includes(members[1]))
		assert.ok(Object.values(definitions.presets(installation)).some((preset) => preset.category === 'Wall: Stage'))
		assert.deepEqual(module.problems, [])
	})

	it('recalls a scene with its action and lights it while the screens show it', async () => {
		const { client, installation } = module
		const decoder = byAlias(installation.decoders, 'RX - 4')
		const wall = byAlias(installation.walls, '2 x 2 - 1')
		const first = byAlias(installation.encoders, 'TX - 1')
		const scene = { scene: 'Lecture' }
		const active = () => definitions.feedbacks(installation, () => true).scene_active.callback({ options: scene })
		// Another client saves what two screens show as a scene: it reaches the dropdowns and presets.
		for (const target of [decoder, wall]) await other.client.request('route', { source: first, target })
		await other.client.request('scene.save', { name: 'Lecture', targets: [decoder, wall] })
		await waitUntil('the new scene in the lists', async () => installation.scenes.includes('Lecture'))
		const actions = definitions.actions(installation, (method, params) => client.request(method, params))
		assert.deepEqual(actions.scene_recall.options[0].choices, [{ id: 'Lecture', label: 'Lecture' }])
		assert.deepEqual(definitions.presets(installation).scene_recall_Lecture.feedbacks[0].options, scene)
		// Lit while the screens show it, out when another client clears one of them.
		await waitUntil('the scene to light', async () => active())
		await other.client.request('clear', { target: decoder })
		await waitUntil('the scene to go out', async () => !active())
		await actions.scene_recall.callback({ options: scene })
		await waitUntil('the recall to finish', async () => installation.recallResult() === 'done')
		const state = await client.request('state')
		for (const target of [decoder, wall]) assert.equal(sourceIn(state, target), first)
		await waitUntil('the scene to light again', async () => active())
		assert.equal(definitions.variableValues(installation).scene_active, 'Lecture')
		// A module that connects now learns the scenes, the active one and the recall from the state.
		const late = await follower(controller)
		clients.push(late.client)
		const { scenes, activeScene } = late.installation
		assert.deepEqual([scenes, activeScene, late.installation.recallResult()], [['Lecture'], 'Lecture', 'done'])
	})

	it('says why it is not connected: refused token or certificate, lost or hung controller, unreachable', async () => {
		const attempt = async (options) => {
			const client = new ApiClient({ host: '127.0.0.1', port: controller.port, token: controller.token, ...options, ...FAST })
			clients.push(client)
			const first = outcome(client)
			client.start()
			const result = await first
			client.stop()
			return result
		}
		const refused = await attempt({ token: 'not-the-token', fingerprint: controller.fingerprint })
		assert.equal(refused.status, Status.AuthFailed)
		assert.match(refused.message, /^token refused: wrong proof for the challenge; trying again in 1 s$/)
		// Another certificate than the pinned one (or none pinned) is refused before the sign-in.
		const otherCertificate = controller.fingerprint.replace(/^../, (byte) => (byte === 'AA' ? 'BB' : 'AA'))
		for (const fingerprint of [otherCertificate, '']) {
			const { status, message } = await attempt({ fingerprint })
			assert.equal(status, Status.CertificateRefused)
			assert.equal(message, `127.0.0.1:${controller.port} shows the certificate ${controller.fingerprint}, not the pinned one; trying again in 1 s`)
		}

		const { client } = module
		const feedbacks = definitions.feedbacks(module.installation, () => client.connected)
		const reconnected = new Promise((resolve) => client.once('ready', resolve))
		const lost = statusReached(client, Status.Lost)
		const unreachable = statusReached(client, Status.Unreachable)
		await controller.stop()
		assert.match(await lost, /^the controller closed the connection: the controller is stopping; trying again/)
		assert.equal(feedbacks.connected.callback({ options: {} }), false)
		await assert.rejects(client.request('state'), /not connected/)
		// A connection taken while the controller was still ending is reset rather than refused.
		assert.match(await unreachable, /cannot reach 127\.0\.0\.1:7741 \((ECONNREFUSED|ECONNRESET)\)/)

		await controller.start()
		await reconnected
		assert.equal(client.status, Status.Ok)
		assert.equal(feedbacks.connected.callback({ options: {} }), true)

		// A controller that hangs keeps the connection open but answers no pings.
		const silent = statusReached(client, Status.Lost)
		const back = new Promise((resolve) => client.once('ready', resolve))
		controller.process.kill('SIGSTOP')
		try {
			assert.match(await silent, /^127\.0\.0\.1:7741 stopped answering; trying again/)
		} finally {
			controller.process.kill('SIGCONT')
		}
		await back
	})
})

// A port nothing listens on: every attempt fails at once, and only the waits between them
// remain, on a clock the test moves.
function closedPort() {
	return new Promise((resolve, reject) => {
		const server = net.createServer()
		server.once('error', reject)
		server.listen(0, '127.0.0.1', () => {
			const { port } = server.address()
			server.close(() => resolve(port))
		})
	})
}

// The wait, in seconds, the client announces after its next failed attempt.
function nextWait(client) {
	return new Promise((resolve) => {
		const listener = (status, message) => {
			const announced = /trying again in (\d+) s$/.exec(message)
			if (!announced) return
			client.off('status', listener)
			resolve(Number(announced[1]))
		}
		client.on('status', listener)
	})
}

// A stranger on the controller's address, without the token, that takes any proof and says so.
describe('signing in', () => {
	it('trusts only a controller that signs the proof with the token', async (t) => {
		const { WebSocketServer } = require('ws')
		const server = new WebSocketServer({ host: '127.0.0.1', port: 0 })
		t.after(() => server.close())
		await new Promise((resolve) => server.once('listening', resolve))
		const asked = []
		server.on('connection', (socket) => {
			socket.send(JSON.stringify({ jsonrpc: '2.0', method: 'hello', params: { salt: 'c2FsdA==', challenge: 'Y2hhbGxlbmdl' } }))
			socket.on('message', (raw) => {
				const { id, method } = JSON.parse(raw.toString())
				asked.push(method)
				socket.send(JSON.stringify({ jsonrpc: '2.0', id, result: method === 'auth' ? { server: 'forged' } : {} }))
			})
		})
		const client = new ApiClient({ host: '127.0.0.1', port: server.address().port, token: 'x', tls: false, ...FAST })
		t.after(() => client.stop())
		const first = outcome(client)
		client.start()
		const { status, message } = await first
		assert.equal(status, Status.AuthFailed)
		assert.match(message, /^token refused: the controller could not prove it holds this token;/)
		assert.deepEqual(asked, ['auth'])
	})
})

describe('reconnecting', () => {
	it('waits twice as long after each failure, up to the longest wait', async (t) => {
		const port = await closedPort()
		t.mock.timers.enable({ apis: ['setTimeout'] })
		const client = new ApiClient({
			host: '127.0.0.1', port, token: 'x', firstRetryMs: 1000, longestRetryMs: 8000, heartbeatMs: 3600000,
		})
		t.after(() => client.stop())
		let waiting = nextWait(client)
		client.start()
		const waits = []
		for (let attempt = 0; attempt < 6; ++attempt) {
			waits.push(await waiting)
			waiting = nextWait(client)
			// The announced wait is the one kept: a millisecond short of it nothing is tried.
			t.mock.timers.tick(waits.at(-1) * 1000 - 1)
			assert.equal(client.status, Status.Unreachable)
			t.mock.timers.tick(1)
			assert.equal(client.status, Status.Connecting)
		}
		assert.deepEqual(waits, [1, 2, 4, 8, 8, 8])
	})
})

describe('the module instance', () => {
	const base = require('@companion-module/base')
	let Instance
	before(() => {
		// Companion starts the module through runEntrypoint; here it only hands the class over.
		Object.defineProperty(base, 'runEntrypoint', { value: (cls) => (Instance = cls), configurable: true })
		require('../src/main')
	})

	// An instance with no Companion behind it: what it tells Companion is kept.
	function instance() {
		const told = { status: [], checked: [], logged: [], defined: 0 }
		const module = Object.assign(Object.create(Instance.prototype), {
			updateStatus: (status, message) => told.status.push([status, message]),
			checkFeedbacks: (...ids) => told.checked.push(ids),
			log: (level, message) => told.logged.push(`${level} ${message}`),
			setActionDefinitions: () => ++told.defined,
			setFeedbackDefinitions() {},
			setVariableDefinitions() {},
			setPresetDefinitions() {},
			setVariableValues() {},
		})
		return { module, told }
	}

	it('asks for what is missing, and connects with what it is given', async (t) => {
		const { module, told } = instance()
		t.after(() => module.destroy())
		const { BadConfig, ConnectionFailure } = base.InstanceStatus
		await module.init({ host: '127.0.0.1', token: '' })
		assert.deepEqual(told.status, [[BadConfig, 'Enter the controller address and its API token']])
		await module.configUpdated({ host: '127.0.0.1', token: 't', fingerprint: 'AB:CD' })
		assert.deepEqual(told.status.at(-1), [BadConfig, "Enter the controller's certificate fingerprint (64 hex digits)"])
		assert.equal(await module.send('state'), undefined)
		// Without TLS no fingerprint is asked for; an empty port is the controller's own.
		await module.configUpdated({ host: '127.0.0.1', token: 't', tls: false, port: '' })
		assert.equal(module.client.port, 7741)
		await waitUntil('the failed attempt told', async () => told.status.some(([status]) => status === ConnectionFailure))
		assert.deepEqual(told.checked.at(-1), ['connected'])
		await module.send('state')
		assert.match(told.logged.at(-1), /^warn state: not connected to the controller/)
		for (const [status, companion] of [[Status.Ok, 'ok'], [Status.AuthFailed, 'authentication_failure'], [Status.Lost, 'disconnected']]) {
			module.client.emit('status', status, '')
			assert.deepEqual(told.status.at(-1), [companion, null])
		}
		// New lists redefine the buttons; new values light them.
		const defined = told.defined
		module.installation.emit('lists')
		const checked = told.checked.length
		module.installation.emit('values')
		assert.deepEqual([told.defined, told.checked.slice(checked)], [defined + 1, [['shows_source', 'online', 'scene_active']]])
		const client = module.client
		await module.destroy()
		assert.deepEqual([module.client, client.status], [null, Status.Stopped])
	})

	it('offers its settings, the fingerprint only with TLS', () => {
		const fields = instance().module.getConfigFields()
		assert.deepEqual(fields.map((field) => [field.id, field.default]),
			[['host', undefined], ['port', 7741], ['token', undefined], ['tls', true], ['fingerprint', undefined]])
		assert.deepEqual([fields[4].isVisible({ tls: false }), fields[4].isVisible({})], [false, true])
	})
})
