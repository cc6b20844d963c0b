'use strict'

const { InstanceBase, InstanceStatus, Regex, runEntrypoint } = require('@companion-module/base')
const { ApiClient, Status, fingerprintDigits } = require('./api_client')
const { Installation } = require('./installation')
const definitions = require('./definitions')

const DEFAULT_PORT = 7741

const COMPANION_STATUS = {
	[Status.Connecting]: InstanceStatus.Connecting,
	[Status.Ok]: InstanceStatus.Ok,
	[Status.AuthFailed]: InstanceStatus.AuthenticationFailure,
	[Status.Unreachable]: InstanceStatus.ConnectionFailure,
	[Status.CertificateRefused]: InstanceStatus.ConnectionFailure,
	[Status.Lost]: InstanceStatus.Disconnected,
	[Status.Stopped]: InstanceStatus.Disconnected,
}

class ZentrovaInstance extends InstanceBase {
	async init(config) {
		this.installation = new Installation()
		this.installation.on('lists', () => this.defineAll())
		this.installation.on('values', () => this.showValues())
		this.defineAll()
		this.connect(config)
	}

	async destroy() {
		if (this.client) this.client.stop()
		this.client = null
	}

	async configUpdated(config) {
		await this.destroy()
		this.connect(config)
	}

	getConfigFields() {
		return [
			{ type: 'textinput', id: 'host', label: 'Controller address', width: 8, regex: Regex.HOSTNAME },
			{ type: 'number', id: 'port', label: 'Control API port (HTTP/WebSocket)', width: 4, min: 1, max: 65535, default: DEFAULT_PORT },
			{ type: 'textinput', id: 'token', label: 'API token', width: 12 },
			{ type: 'checkbox', id: 'tls', label: 'TLS (wss://)', width: 4, default: true },
			{
				type: 'textinput',
				id: 'fingerprint',
				label: "Controller's certificate fingerprint (SHA-256, from zentrova --api-fingerprint)",
				width: 12,
				isVisible: (options) => options.tls !== false,
			},
		]
	}

	connect(config) {
		if (!config.host || !config.token) {
			this.updateStatus(InstanceStatus.BadConfig, 'Enter the controller address and its API token')
			return
		}
		const tls = config.tls !== false
		if (tls && !fingerprintDigits(config.fingerprint)) {
			this.updateStatus(InstanceStatus.BadConfig, "Enter the controller's certificate fingerprint (64 hex digits)")
			return
		}
		const client = new ApiClient({
			host: config.host,
			port: Number(config.port) || DEFAULT_PORT,
			token: config.token,
			tls,
			fingerprint: config.fingerprint,
		})
		this.client = client
		client.on('status', (status, message) => {
			this.updateStatus(COMPANION_STATUS[status], message || null)
			this.checkFeedbacks('connected')
		})
		this.installation.follow(client, (message) => this.log('warn', message))
		client.start()
	}

	send(method, params) {
		if (!this.client) return Promise.resolve()
		return this.client.request(method, params).catch((error) => this.log('warn', `${method}: ${error.message}`))
	}

	defineAll() {
		const installation = this.installation
		this.setActionDefinitions(definitions.actions(installation, (method, params) => this.send(method, params)))
		this.setFeedbackDefinitions(definitions.feedbacks(installation, () => Boolean(this.client && this.client.connected)))
		this.setVariableDefinitions(definitions.variableDefinitions(installation))
		this.setPresetDefinitions(definitions.presets(installation))
		this.showValues()
	}

	showValues() {
		this.setVariableValues(definitions.variableValues(this.installation))
		this.checkFeedbacks('shows_source', 'online', 'scene_active')
	}
}

runEntrypoint(ZentrovaInstance, [])
